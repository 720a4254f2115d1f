// recorder: stands in for msiexec.exe or a provider's Setup.exe in end-to-end runs.
//
// Appends its whole command line (UTF-8, one line) to the file named by
// ELDORIS_RECORD, then either exits with ELDORIS_EXIT_CODE (decimal, default 0)
// or, when ELDORIS_CHAIN names a program, runs that program with the same
// argument tail and exits with its exit code.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

// Distinct from any installer code, so that a broken recording shows up.
const DWORD kRecordFailed = 0xE0000001u;

std::wstring envVar(const wchar_t* name, bool& present) {
    DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    present = n != 0;
    if (!present) return {};
    std::wstring v(n, L'\0');
    n = GetEnvironmentVariableW(name, &v[0], n);
    v.resize(n);
    return v;
}

bool appendLine(const std::wstring& path, const std::wstring& line) {
    std::wstring withEnd = line + L"\n";
    int n = WideCharToMultiByte(CP_UTF8, 0, withEnd.data(), (int)withEnd.size(), nullptr, 0, nullptr, nullptr);
    std::string utf8(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, withEnd.data(), (int)withEnd.size(), &utf8[0], n, nullptr, nullptr);
    HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    bool ok = WriteFile(h, utf8.data(), (DWORD)utf8.size(), &put, nullptr) && put == utf8.size();
    CloseHandle(h);
    return ok;
}

// The command line after the program token, leading white space kept,
// using the same rule as the C runtime for the first token.
std::wstring argumentTail(const wchar_t* cmd) {
    const wchar_t* p = cmd;
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    return p;
}

DWORD runChained(const std::wstring& program, const std::wstring& tail) {
    std::wstring cmd = L"\"" + program + L"\"" + tail;
    std::vector<wchar_t> buf(cmd.begin(), cmd.end());
    buf.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return GetLastError();
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return code;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const wchar_t* cmd = GetCommandLineW();
    bool present = false;
    std::wstring record = envVar(L"ELDORIS_RECORD", present);
    if (present && !appendLine(record, cmd)) return (int)kRecordFailed;

    std::wstring chain = envVar(L"ELDORIS_CHAIN", present);
    if (present && !chain.empty()) return (int)runChained(chain, argumentTail(cmd));

    std::wstring code = envVar(L"ELDORIS_EXIT_CODE", present);
    return present ? (int)wcstoul(code.c_str(), nullptr, 10) : 0;
}

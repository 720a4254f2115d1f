#include "fake_platform.h"

#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "messages/messages.h"

namespace eldoris::testing {

namespace {

std::wstring fromUtf8(const std::string& in) {
  std::wstring out;
  for (std::size_t i = 0; i < in.size();) {
    const auto c = static_cast<unsigned char>(in[i]);
    unsigned code = c;
    std::size_t extra = 0;
    if (c >= 0xF0) {
      code = c & 0x07u;
      extra = 3;
    } else if (c >= 0xE0) {
      code = c & 0x0Fu;
      extra = 2;
    } else if (c >= 0xC0) {
      code = c & 0x1Fu;
      extra = 1;
    }
    for (std::size_t k = 1; k <= extra && i + k < in.size(); ++k) {
      code = (code << 6) | (static_cast<unsigned char>(in[i + k]) & 0x3Fu);
    }
    out.push_back(static_cast<wchar_t>(code));
    i += 1 + extra;
  }
  return out;
}

// Resource-script string escapes: \n is a line feed, "" a double quote.
std::wstring unescape(const std::wstring& s) {
  std::wstring out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == L'\\' && i + 1 < s.size() && s[i + 1] == L'n') {
      out.push_back(L'\n');
      ++i;
    } else if (s[i] == L'"' && i + 1 < s.size() && s[i + 1] == L'"') {
      out.push_back(L'"');
      ++i;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

wchar_t fold(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

// File-system wildcard match, without regard to ASCII case.
bool wildcardMatch(const std::wstring& mask, const std::wstring& name, std::size_t m = 0,
                   std::size_t n = 0) {
  if (m == mask.size()) return n == name.size();
  if (mask[m] == L'*') {
    for (std::size_t k = n; k <= name.size(); ++k) {
      if (wildcardMatch(mask, name, m + 1, k)) return true;
    }
    return false;
  }
  if (n == name.size()) return false;
  if (mask[m] != L'?' && fold(mask[m]) != fold(name[n])) return false;
  return wildcardMatch(mask, name, m + 1, n + 1);
}

}  // namespace

const std::map<MessageId, std::wstring>& realMessages() {
  static const std::map<MessageId, std::wstring> messages = [] {
    std::ifstream file(ELDORIS_STRINGS_RC);
    if (!file) throw std::runtime_error("cannot read the string table script");
    std::stringstream content;
    content << file.rdbuf();
    std::map<MessageId, std::wstring> result;
    const std::regex line("^  ([0-9]+) \"(.*)\"$");
    std::string row;
    while (std::getline(content, row)) {
      std::smatch match;
      if (std::regex_match(row, match, line)) {
        result[static_cast<MessageId>(std::stoi(match[1]))] = unescape(fromUtf8(match[2]));
      }
    }
    return result;
  }();
  return messages;
}

std::map<unsigned, std::vector<std::uint8_t>> buildStringBlocks(
    const std::map<MessageId, std::wstring>& texts) {
  std::map<unsigned, std::vector<std::uint8_t>> blocks;
  for (const auto& [id, value] : texts) blocks[stringBlockOf(id)];
  for (auto& entry : blocks) {
    const unsigned block = entry.first;
    std::vector<std::uint8_t>& bytes = entry.second;
    for (unsigned index = 0; index < 16; ++index) {
      const auto id = static_cast<MessageId>((block - 1) * 16 + index);
      const auto found = texts.find(id);
      const std::wstring value = found == texts.end() ? std::wstring() : found->second;
      auto put = [&bytes](unsigned unit) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
      };
      put(static_cast<unsigned>(value.size()));
      for (const wchar_t c : value) put(static_cast<unsigned>(c));
    }
  }
  return blocks;
}

std::wstring text(MessageId id) { return realMessages().at(id); }

FakePlatform::FakePlatform() {
  static const auto realBlocks = buildStringBlocks(realMessages());
  stringBlocks = realBlocks;
  // What each call answers when it fails, as Windows would in that place.
  faultErrors = {{"stringTableBlock", 8},
                 {"messageBox", 5},
                 {"dialog", 1813},
                 {"desktopView", 6},
                 {"splitCommandLine", 8},
                 {"tokenIsAdministrator", 5},
                 {"versionRecord", 87},
                 {"kernelVersion", 127},
                 {"isWow64Process", 6},
                 {"environmentVariable", 8},
                 {"currentDirectory", 8},
                 {"fullPath", 206},
                 {"systemDirectory", 8},
                 {"programPath", 122},
                 {"listCurrentDirectory", 5},
                 {"findFirstMatch", 5},
                 {"fileSize", 5},
                 {"deleteFile", 5},
                 {"keepAside", 32},
                 {"createFolder", 5},
                 {"lookAtFolder", 5},
                 {"processAccount", 5},
                 {"createNewFile", 5},
                 {"findFrom", 5},
                 {"writeFile", 112},
                 {"startChild", 5},
                 {"childEnd", 6},
                 {"processIds", 5},
                 {"waitForInstaller", 5},
                 {"takeRunLock", 1450},
                 {"initializeCom", 0x8007000Eu},
                 {"msiSetInternalUi", 126},
                 {"msiGetProductInfo", 1610},
                 {"msiOpenPackage", 1619},
                 {"msiGetProperty", 6},
                 {"msiCloseHandle", 6},
                 {"msiSourceListForceResolution", 1605},
                 {"msiSourceListSetInfo", 1605},
                 {"createUserKey", 5},
                 {"deleteUserKey", 5},
                 {"userKeyWriteTime", 5},
                 {"restartSystem", 5},
                 {"createMachineKey", 5},
                 {"machineKeyWriteTime", 5},
                 {"readUserValue", 5},
                 {"writeUserValue", 5},
                 {"userValueNames", 5},
                 {"deleteUserValue", 5},
                 {"computerName", 111},
                 {"renameOpenFile", 5}};
}

std::uint32_t FakePlatform::fault(const char* call) {
  failable.emplace_back(call);
  if (failable.size() > callBudget) throw std::runtime_error("past the call budget: the run loops");
  if (failable.size() != failAt) return 0;
  failed = call;
  calls.push_back("fault");
  const auto error = faultErrors.find(call);
  // The product and feature states fail as an answer that is none (see there).
  return error != faultErrors.end() ? error->second : 1;
}

void FakePlatform::addFolder(const std::wstring& directory, bool isDirectory) {
  tree.push_back({DirEntry{directory, isDirectory}, {}});
}

void FakePlatform::addPackage(const std::wstring& directory, const std::wstring& file) {
  for (auto& [entry, contents] : tree) {
    if (entry.name == directory) {
      contents.push_back({file, false});
      return;
    }
  }
  tree.push_back({DirEntry{directory, true}, {DirEntry{file, false}}});
}

void FakePlatform::setTable(const std::map<MessageId, std::wstring>& texts) {
  stringBlocks = buildStringBlocks(texts);
}

bool FakePlatform::markerPresent() const {
  return userKeys.count(L"Software\\NeedBstrReboot") != 0;
}

void FakePlatform::restartTheSystem() {
  for (const std::wstring& key : volatileMachineKeys) {
    machineKeys.erase(key);
    machineKeyTimes.erase(key);
  }
  volatileMachineKeys.clear();
  now += 36000000000ull;  // an hour later
}

Answer<bool> FakePlatform::createMachineKey(const std::wstring& path, std::uint32_t view,
                                            bool volatileKey) {
  if (const std::uint32_t error = fault("createMachineKey")) return {error, false};
  keyViews.insert(view);
  if (machineKeys.count(path) != 0) return {0, false};
  const std::wstring parent = path.substr(0, path.find_last_of(L'\\'));
  if (!volatileKey && volatileMachineKeys.count(parent) != 0) return {1021, false};
  calls.push_back("createMachineKey");
  machineKeys.insert(path);
  if (volatileKey) volatileMachineKeys.insert(path);
  machineKeyTimes[path] = now;
  return {0, true};
}

std::uint32_t FakePlatform::deleteMachineKey(const std::wstring& parent, const std::wstring& name,
                                             std::uint32_t) {
  const std::wstring path = parent + L"\\" + name;
  if (machineKeys.erase(path) == 0) return 2;
  volatileMachineKeys.erase(path);
  return 0;
}

Answer<std::uint64_t> FakePlatform::machineKeyWriteTime(const std::wstring& path, std::uint32_t) {
  if (const std::uint32_t error = fault("machineKeyWriteTime")) return {error, 0};
  const auto found = machineKeyTimes.find(path);
  if (found == machineKeyTimes.end()) return {2, 0};  // ERROR_FILE_NOT_FOUND
  return {0, found->second};
}

TextRead FakePlatform::readUserValue(const std::wstring& path, const std::wstring& name,
                                     std::uint32_t) {
  if (const std::uint32_t error = fault("readUserValue")) return {error, std::wstring()};
  const auto found = userValues.find(path + L"|" + name);
  if (userKeys.count(path) == 0 || found == userValues.end()) return {2, std::wstring()};
  return {0, found->second};
}

std::uint32_t FakePlatform::writeUserValue(const std::wstring& path, const std::wstring& name,
                                           const std::wstring& text, std::uint32_t) {
  if (const std::uint32_t error = fault("writeUserValue")) return error;
  if (userKeys.count(path) == 0) return 2;
  userValues[path + L"|" + name] = text;
  return 0;
}

Answer<std::vector<std::wstring>> FakePlatform::userValueNames(const std::wstring& path,
                                                               std::uint32_t) {
  if (const std::uint32_t error = fault("userValueNames")) return {error, {}};
  if (userKeys.count(path) == 0) return {2, {}};
  std::vector<std::wstring> names;
  for (const auto& [name, text] : userValues) {
    if (name.rfind(path + L"|", 0) == 0) names.push_back(name.substr(path.size() + 1));
  }
  return {0, names};
}

std::uint32_t FakePlatform::deleteUserValue(const std::wstring& path, const std::wstring& name,
                                            std::uint32_t) {
  if (const std::uint32_t error = fault("deleteUserValue")) return error;
  calls.push_back("deleteValue");
  return userValues.erase(path + L"|" + name) != 0 ? 0u : 2u;
}

Answer<std::wstring> FakePlatform::computerName() {
  if (const std::uint32_t error = fault("computerName")) return {error, {}};
  return computer;
}

void FakePlatform::pause(std::uint32_t milliseconds) { pauses.push_back(milliseconds); }

Answer<std::vector<std::uint8_t>> FakePlatform::stringTableBlock(unsigned block) {
  if (const std::uint32_t error = fault("stringTableBlock")) return {error, {}};
  const auto found = stringBlocks.find(block);
  if (found == stringBlocks.end()) return {1814, {}};  // ERROR_RESOURCE_NAME_NOT_FOUND
  return {0, found->second};
}

Answer<int> FakePlatform::messageBox(const std::wstring& text, const std::wstring& caption,
                                     unsigned style) {
  if (const std::uint32_t error = fault("messageBox")) return {error, 0};
  boxes.push_back({text, caption, style});
  calls.push_back("box");
  locksHeldAtBoxes.push_back(runLocksHeld);
  if (!answers.empty()) {
    const int answer = answers.front();
    answers.pop_front();
    return {0, answer};
  }
  return {0, (style & 0xF) == box::yesNo ? box::idNo : box::idOk};
}

DialogOutcome FakePlatform::showConfigurationDialog(InstallOptions& options, std::uint32_t& error) {
  if ((error = fault("dialog")) != 0) return DialogOutcome::failed;
  ++dialogsShown;
  error = dialogError;
  calls.push_back("dialog");
  if (dialogOutcome == DialogOutcome::next) {
    options.protectionClass += dialogAppendsClass;
    options.providerLanguage += dialogAppendsLanguage;
  }
  return dialogOutcome;
}

DesktopView FakePlatform::desktopView() {
  if (const std::uint32_t error = fault("desktopView")) return {{error, false}, desktop.session};
  return desktop;
}

std::wstring FakePlatform::commandLine() { return processCommandLine; }

Answer<std::vector<std::wstring>> FakePlatform::splitCommandLine(const std::wstring& line) {
  if (const std::uint32_t error = fault("splitCommandLine")) return {error, {}};
  if (splitResult.failed() || !splitResult.value.empty()) return splitResult;
  std::vector<std::wstring> parts;
  std::wistringstream words(line);
  std::wstring word;
  while (words >> word) parts.push_back(word);
  return {0, parts};
}

std::optional<bool> FakePlatform::shellIsUserAnAdmin(ShellExport how) {
  return how == ShellExport::byName ? adminByName : adminByOrdinal;
}

Answer<bool> FakePlatform::tokenIsAdministrator() {
  if (const std::uint32_t error = fault("tokenIsAdministrator")) return {error, false};
  return {0, adminByToken};
}
std::optional<OsVersion> FakePlatform::versionRecord(VersionRecord record) {
  if (fault("versionRecord") != 0) return std::nullopt;
  return record == VersionRecord::extended ? version : basicVersion;
}
std::optional<OsVersion> FakePlatform::kernelVersion() {
  if (fault("kernelVersion") != 0) return std::nullopt;
  return kernel;
}
Answer<bool> FakePlatform::isWow64Process() {
  if (const std::uint32_t error = fault("isWow64Process")) return {error, false};
  return {0, wow64};
}

TextRead FakePlatform::environmentVariable(const std::wstring& name) {
  if (const std::uint32_t error = fault("environmentVariable")) return {error, std::wstring()};
  const auto found = environment.find(name);
  if (found == environment.end()) return {code::envVarNotFound, std::wstring()};
  return {0, found->second};
}

TextRead FakePlatform::currentDirectory() {
  if (const std::uint32_t error = fault("currentDirectory")) return {error, std::wstring()};
  return currentDir;
}

TextRead FakePlatform::fullPath(const std::wstring& path) {
  if (const std::uint32_t error = fault("fullPath")) return {error, std::wstring()};
  const bool full = path.rfind(L"\\\\", 0) == 0 || (path.size() > 2 && path[1] == L':');
  return {0, full ? path : currentDir.text + L"\\" + path};
}

KeptAside FakePlatform::keepAside(const std::wstring& path, const std::wstring& kept) {
  if (const std::uint32_t error = fault("keepAside")) return {KeptAside::Outcome::failed, error};
  if (heldOpen.count(path) != 0)
    return {KeptAside::Outcome::failed, 32};  // ERROR_SHARING_VIOLATION
  if (keepError != 0) return {KeptAside::Outcome::failed, keepError};
  if (links.count(path) != 0 || existingPaths.count(path) != 0)
    return {KeptAside::Outcome::notAFile};
  if (files.count(path) == 0) return {KeptAside::Outcome::failed, 2};
  files[kept] = files[path];
  files.erase(path);
  moves[path] = kept;
  return {};
}

std::uint32_t FakePlatform::createFolder(const std::wstring& path,
                                         const AccessDescription& access) {
  if (const std::uint32_t error = fault("createFolder")) return error;
  if (folderError != 0) return folderError;
  if (existingFolders.count(path) != 0 || files.count(path) != 0)
    return 183;  // ERROR_ALREADY_EXISTS
  const auto madeIn = folderLooksOnceMadeIn.find(path.substr(0, path.find_last_of(L'\\')));
  if (madeIn != folderLooksOnceMadeIn.end()) folderLooks[madeIn->first] = madeIn->second;
  folders.push_back(path);
  folderAccess.push_back(access);
  return 0;
}

FolderLook FakePlatform::lookAtFolder(const std::wstring& path) {
  foldersLookedAt.push_back(path);
  if (const std::uint32_t error = fault("lookAtFolder")) {
    FolderLook unreadable;
    unreadable.error = error;
    return unreadable;
  }
  return lookOf(path);
}

FolderLook FakePlatform::lookFound(const std::wstring& path) const {
  const auto found = foundLooks.find(path);
  return found != foundLooks.end() ? found->second : lookOf(path);
}

FolderLook FakePlatform::lookOf(const std::wstring& path) const {
  const auto found = folderLooks.find(path);
  if (found != folderLooks.end()) return found->second;
  if (files.count(path) != 0) {
    FolderLook file;
    file.isFolder = false;
    return file;
  }
  FolderLook look;
  look.owner = L"S-1-5-32-544";
  look.entries = {{AccessEntry::Kind::allow, L"S-1-5-18", 0x1F01FF, 0x3},
                  {AccessEntry::Kind::allow, L"S-1-5-32-544", 0x1F01FF, 0x3},
                  {AccessEntry::Kind::allow, L"S-1-5-32-545", 0x1200A9, 0x3}};
  return look;
}

Answer<std::wstring> FakePlatform::processAccount() {
  if (const std::uint32_t error = fault("processAccount")) return {error, {}};
  return {0, account};
}

std::optional<std::vector<std::uint32_t>> FakePlatform::processIds(const std::wstring&) {
  if (fault("processIds") != 0) return std::nullopt;
  return msiexecProcesses;
}

InstallerWait FakePlatform::waitForInstaller(InstallerBusySign sign, std::uint32_t milliseconds) {
  if (const std::uint32_t error = fault("waitForInstaller")) {
    return {InstallerWait::State::unknown, error};
  }
  calls.push_back("installerWait");
  installerWaitsAsked.push_back(milliseconds);
  installerSignsAsked.push_back(sign);
  if (installerWaits.empty()) return {};
  const InstallerWait wait = installerWaits.front();
  installerWaits.pop_front();
  return wait;
}

std::uint32_t FakePlatform::initializeCom() {
  if (const std::uint32_t error = fault("initializeCom")) return error;
  calls.push_back("comInit");
  return comResult;
}

void FakePlatform::uninitializeCom() { calls.push_back("comUninit"); }
TextRead FakePlatform::systemDirectory() {
  if (const std::uint32_t error = fault("systemDirectory")) return {error, std::wstring()};
  calls.push_back("systemDirectory");
  return systemDir;
}
LocalTime FakePlatform::localTime() { return time; }
TextRead FakePlatform::programPath() {
  if (const std::uint32_t error = fault("programPath")) return {error, std::wstring()};
  return program;
}
void FakePlatform::writeStandardOutput(const std::wstring& line) { standardOutput.push_back(line); }

std::uint32_t FakePlatform::listCurrentDirectory(
    const std::function<bool(const DirEntry&)>& visit) {
  if (const std::uint32_t error = fault("listCurrentDirectory")) return error;
  if (listingFails) return 5;  // ERROR_ACCESS_DENIED
  for (const DirEntry& dot : {DirEntry{L".", true}, DirEntry{L"..", true}}) {
    if (visit(dot)) return 0;
  }
  for (const auto& [entry, contents] : tree) {
    if (visit(entry)) return 0;
  }
  return 0;
}

Answer<std::optional<DirEntry>> FakePlatform::findFirstMatch(const std::wstring& pattern) {
  if (const std::uint32_t error = fault("findFirstMatch")) return {error, std::nullopt};
  searchedPatterns.push_back(pattern);
  const std::size_t slash = pattern.find(L'\\');
  const std::wstring directory = pattern.substr(0, slash);
  const std::wstring mask = pattern.substr(slash + 1);
  if (const auto refused = searchErrors.find(directory); refused != searchErrors.end()) {
    return {refused->second, std::nullopt};
  }
  for (const auto& [entry, contents] : tree) {
    if (entry.name != directory) continue;
    for (const DirEntry& item : contents) {
      if (wildcardMatch(mask, item.name)) return {0, item};
    }
  }
  return {0, std::nullopt};
}

std::optional<std::uint64_t> FakePlatform::fileSize(const std::wstring& path) {
  if (fault("fileSize") != 0) return std::nullopt;
  const auto file = files.find(path);
  if (file != files.end()) return file->second.size();
  if (existingPaths.count(path) != 0) return 0;
  return std::nullopt;
}

std::uint32_t FakePlatform::deleteFile(const std::wstring& path) {
  if (const std::uint32_t error = fault("deleteFile")) return error;
  deletedFiles.push_back(path);
  calls.push_back("deleteFile");
  return 0;
}

namespace {

// Writes to its file, which nothing renames while it is open.
class FakeOutputFile final : public OutputFile {
 public:
  FakeOutputFile(FakePlatform& platform, std::wstring path, bool renamable)
      : platform_(platform), path_(std::move(path)), renamable_(renamable) {}
  std::uint32_t renameTo(const std::wstring& path) override {
    if (const std::uint32_t error = platform_.fault("renameOpenFile")) return error;
    if (!renamable_) return 5;  // ERROR_ACCESS_DENIED: the handle lacks DELETE
    if (platform_.files.count(path) != 0) return 183;  // ERROR_ALREADY_EXISTS
    platform_.files[path] = platform_.files[path_];
    platform_.files.erase(path_);
    path_ = path;
    return 0;
  }
  bool write(const std::vector<char>& bytes) override {
    if (platform_.fault("writeFile") != 0) return false;
    platform_.files[path_].append(bytes.begin(), bytes.end());
    return true;
  }
  Answer<FoundPath> findFrom(const std::wstring& root, const std::wstring& relative) override {
    if (const std::uint32_t error = platform_.fault("findFrom")) return {error, {}};
    platform_.placesChecked.push_back(root + L"|" + relative);
    FoundPath found;
    found.folders.push_back(platform_.lookFound(root));
    for (std::size_t at = relative.find(L'\\'); at != std::wstring::npos;
         at = relative.find(L'\\', at + 1)) {
      found.folders.push_back(platform_.lookFound(root + relative.substr(0, at)));
    }
    found.sameFile = platform_.madeElsewhere.count(path_) == 0;
    return {0, found};
  }

 private:
  FakePlatform& platform_;
  std::wstring path_;
  bool renamable_;
};

}  // namespace

std::unique_ptr<OutputFile> FakePlatform::createNewFile(const std::wstring& path,
                                                        std::uint32_t& error, bool renamable) {
  if ((error = fault("createNewFile")) != 0) return nullptr;
  const bool taken =
      files.count(path) != 0 || existingPaths.count(path) != 0 || links.count(path) != 0;
  error = taken ? 80 : createError;  // ERROR_FILE_EXISTS
  if (error != 0) return nullptr;
  files[path];
  return std::make_unique<FakeOutputFile>(*this, path, renamable);
}

ChildRun FakePlatform::runChildProcess(const std::wstring& path, const std::wstring& commandLine) {
  if (const std::uint32_t error = fault("startChild")) return {false, error};
  commandLines.push_back(commandLine);
  programs.push_back(path);
  calls.push_back("child");
  ChildRun run{true, 0};
  if (!childRuns.empty()) {
    run = childRuns.front();
    childRuns.pop_front();
  }
  if (run.started) {
    if (const std::uint32_t error = fault("childEnd")) return {true, 0, 0, error};
  }
  childCodes.push_back(run.started ? run.code : 0xFFFFFFFFu);
  const std::size_t option = commandLine.find(L"/Lv! ");
  if (run.started && childWritesLog && option != std::wstring::npos) {
    const std::size_t start = commandLine.find_first_not_of(L'"', option + 5);
    const std::wstring log = commandLine.substr(start, commandLine.find(L'"', start) - start);
    if (files.count(log) != 0) files[log] += "written by the child";
  }
  return run;
}

void FakePlatform::msiCall(const char* name) {
  calls.push_back(name);
  if (!internalUiSetToNone) ++msiCallsBeforeInternalUi;
}

std::uint32_t FakePlatform::msiSetInternalUiNone() {
  if (const std::uint32_t error = fault("msiSetInternalUi")) return error;
  calls.push_back("msiSetInternalUi");
  internalUiSetToNone = true;
  return 0;
}

// A failed query answers INSTALLSTATE_INVALIDARG (-2), as the Windows
// Installer does for an argument it refuses.
Answer<int> FakePlatform::msiQueryProductState(const std::wstring&) {
  if (fault("msiQueryProductState") != 0) return {0, -2};
  msiCall("msiQueryProductState");
  return {0, productState};
}

Answer<int> FakePlatform::msiQueryFeatureState(const std::wstring&, const std::wstring&) {
  if (fault("msiQueryFeatureState") != 0) return {0, -2};
  msiCall("msiQueryFeatureState");
  return {0, featureState};
}

TextRead FakePlatform::msiGetProductInfo(const std::wstring&, const std::wstring&) {
  if (const std::uint32_t error = fault("msiGetProductInfo")) return {error, std::wstring()};
  msiCall("msiGetProductInfo");
  return installedVersion;
}

std::uint32_t FakePlatform::msiOpenPackage(const std::wstring& path, std::uint32_t& handle) {
  if (const std::uint32_t error = fault("msiOpenPackage")) return error;
  msiCall("msiOpenPackage");
  openedPackages.push_back(path);
  if (openResult != 0) return openResult;
  handle = 42;
  ++openHandles;
  return 0;
}

TextRead FakePlatform::msiGetProperty(std::uint32_t, const std::wstring&) {
  if (const std::uint32_t error = fault("msiGetProperty")) return {error, std::wstring()};
  msiCall("msiGetProperty");
  return packageVersion;
}

std::uint32_t FakePlatform::msiCloseHandle(std::uint32_t handle) {
  msiCall("msiCloseHandle");
  if (handle == 42) --openHandles;
  return fault("msiCloseHandle");  // closed all the same: what fails is the report
}

std::uint32_t FakePlatform::msiSourceListForceResolution(const std::wstring& productCode) {
  if (const std::uint32_t error = fault("msiSourceListForceResolution")) return error;
  msiCall("msiSourceListForceResolution");
  sourceListCalls.push_back(L"resolve " + productCode);
  return 0;
}

std::uint32_t FakePlatform::msiSourceListSetPackageName(const std::wstring& productCode,
                                                        const std::wstring& packageName) {
  if (const std::uint32_t error = fault("msiSourceListSetInfo")) return error;
  msiCall("msiSourceListSetInfo");
  sourceListCalls.push_back(L"PackageName " + productCode + L" " + packageName);
  return 0;
}

std::uint32_t FakePlatform::createUserKey(const std::wstring& path, std::uint32_t view) {
  if (const std::uint32_t error = fault("createUserKey")) return error;
  calls.push_back("createKey");
  keyViews.insert(view);
  if (createKeyResult != 0) return createKeyResult;
  userKeys.insert(path);
  keyWriteTimes[path] = now;
  return 0;
}

std::uint32_t FakePlatform::deleteUserKey(const std::wstring& parent, const std::wstring& name,
                                          std::uint32_t view) {
  if (const std::uint32_t error = fault("deleteUserKey")) return error;
  calls.push_back("deleteKey");
  keyViews.insert(view);
  const std::wstring path = parent + L"\\" + name;
  if (userKeys.count(path) == 0) return code::fileNotFound;
  if (keysWithSubkeys.count(path) != 0) return 5;  // ERROR_ACCESS_DENIED
  userKeys.erase(path);
  std::erase_if(userValues,
                [&](const auto& value) { return value.first.rfind(path + L"|", 0) == 0; });
  return 0;
}

Answer<std::uint64_t> FakePlatform::userKeyWriteTime(const std::wstring& path, std::uint32_t view) {
  if (const std::uint32_t error = fault("userKeyWriteTime")) return {error, 0};
  keyViews.insert(view);
  if (userKeys.count(path) == 0) return {2, 0};  // ERROR_FILE_NOT_FOUND
  const auto written = keyWriteTimes.find(path);
  return {0, written != keyWriteTimes.end() ? written->second : now};
}

std::uint64_t FakePlatform::systemTimeNow() { return now; }
std::optional<std::uint64_t> FakePlatform::millisecondsSinceStart() { return sinceStart; }

namespace {

class FakeHeldLock final : public HeldLock {
 public:
  explicit FakeHeldLock(int& held) : held_(held) { ++held_; }
  ~FakeHeldLock() override { --held_; }
  FakeHeldLock(const FakeHeldLock&) = delete;
  FakeHeldLock& operator=(const FakeHeldLock&) = delete;

 private:
  int& held_;
};

}  // namespace

RunLock FakePlatform::takeRunLock(const RunLockPlace& place, const AccessDescription& access,
                                  std::uint32_t milliseconds) {
  if (beforeTheLock) std::exchange(beforeTheLock, nullptr)(*this);
  runLockPlaces.push_back(place);
  if (!privateNamespaces && !place.namespaceAlias.empty()) {
    return {RunLock::State::unknown, 127, 0, nullptr};  // ERROR_PROC_NOT_FOUND
  }
  if (const std::uint32_t error = fault("takeRunLock")) {
    return {RunLock::State::unknown, error, 0, nullptr};
  }
  calls.push_back("runLock");
  runLockAccess = access;
  runLocksAsked.push_back(milliseconds);
  RunLock lock;
  if (!runLocks.empty()) {
    lock.state = runLocks.front();
    runLocks.pop_front();
  }
  lock.milliseconds = lock.state == RunLock::State::held ? milliseconds : 0;
  if (!runLockWaits.empty()) {
    lock.milliseconds = runLockWaits.front();
    runLockWaits.pop_front();
  }
  if (lock.state == RunLock::State::taken) lock.lock = std::make_unique<FakeHeldLock>(runLocksHeld);
  return lock;
}

std::uint32_t FakePlatform::restartSystem(const RestartRequest& request) {
  if (const std::uint32_t error = fault("restartSystem")) return error;
  calls.push_back("restart");
  restartCalls.push_back(request);
  std::uint32_t error = restartSucceeds ? 0u : 1300u;  // ERROR_NOT_ALL_ASSIGNED
  if (!restartErrors.empty()) {
    error = restartErrors.front();
    restartErrors.pop_front();
  }
  if (error == 0) ++restartsStarted;
  return error;
}

}  // namespace eldoris::testing

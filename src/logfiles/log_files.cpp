#include "logfiles/log_files.h"

#include "logfiles/folder_trust.h"
#include "text/ascii.h"
#include "text/decimal.h"

namespace eldoris {

namespace {

// Names taken by other files are skipped; this many is a folder someone filled.
constexpr unsigned maxAttempts = 100;

}  // namespace

// The date and time, each part after its separator in `between`: those before
// the month, the day, the hour, the minute and the second.
void appendDateTime(std::wstring& out, const LocalTime& time, const wchar_t (&between)[6]) {
  appendDecimal(out, static_cast<std::uint32_t>(time.year), 4);
  const int parts[] = {time.month, time.day, time.hour, time.minute, time.second};
  for (std::size_t i = 0; i < 5; ++i) {
    out += between[i];
    appendDecimal(out, static_cast<std::uint32_t>(parts[i]), 2);
  }
}

std::wstring formatTimestamp(const LocalTime& time) {
  std::wstring stamp;
  appendDateTime(stamp, time, L"-----");
  return stamp;
}

std::wstring logName(const std::wstring& stem, const std::wstring& stamp, unsigned attempt) {
  std::wstring name = stem + L"_" + stamp;
  if (attempt > 1) {
    name += L'-';
    appendDecimal(name, attempt);
  }
  return name + L".log";
}

bool isTaken(std::uint32_t error) {
  return error == code::fileExists || error == code::alreadyExists;
}

bool nameFreed(const KeptAside& kept) {
  return kept.outcome == KeptAside::Outcome::kept ||
         (kept.outcome == KeptAside::Outcome::failed && kept.error == code::fileNotFound);
}

NewLog createLogFile(Platform& platform, const std::wstring& folder, const std::wstring& stem,
                     const std::wstring& stamp, bool renamable) {
  NewLog log;
  for (unsigned attempt = 1; attempt <= maxAttempts; ++attempt) {
    // A name refused after a taken one (pending deletion, say) is no more
    // the program's than the taken one: neither is handed on.
    log.path = folder + L"\\" + logName(stem, stamp, attempt);
    log.file = platform.createNewFile(log.path, log.error, renamable);
    if (log.file || !isTaken(log.error)) return log;
  }
  log.error = code::fileExists;
  return log;
}

namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Rights of the folders' descriptor (winnt.h).
constexpr std::uint32_t fileAllAccess = 0x001F01FF;  // FILE_ALL_ACCESS
constexpr std::uint32_t readAndList = 0x001200A9;    // FILE_GENERIC_READ | FILE_EXECUTE (traverse)

}  // namespace

AccessDescription logFolderAccess() {
  // Owned by the Administrators where the run may name them: an owner may
  // always change the list, and the default owner may be the user.
  return {{{Trustee::system, fileAllAccess, true},
           {Trustee::administrators, fileAllAccess, true},
           {Trustee::users, readAndList, true}},
          true};
}

std::vector<std::wstring> foldersOf(const std::wstring& path) {
  std::vector<std::wstring> folders;
  const std::size_t file = path.find_last_of(L"\\/");
  if (file == std::wstring::npos) return folders;
  // The root: "D:\", or "\\server\share\" (the share, which cannot be made).
  std::size_t at = path.size() > 2 && path[1] == L':' ? 2 : std::wstring::npos;
  if (at == std::wstring::npos && path.size() > 2 && isSeparator(path[0]) && isSeparator(path[1])) {
    at = path.find_first_of(L"\\/", path.find_first_of(L"\\/", 2) + 1);
  }
  if (at == std::wstring::npos || at > file) return folders;
  folders.push_back(path.substr(0, at + 1));
  while (at < file) {
    at = path.find_first_of(L"\\/", at + 1);
    folders.push_back(path.substr(0, at));
  }
  return folders;
}

LogFolder prepareLogFolder(Platform& platform, const std::wstring& path,
                           const std::wstring& runningAccount) {
  LogFolder result;
  const std::vector<std::wstring> folders = foldersOf(path);
  const AccessDescription access = logFolderAccess();
  // From the root down, each folder that is there is looked at before
  // anything is made in it: a name another account took first, or made a
  // link of, is never made or followed into.
  FolderLook parent;
  std::size_t made = folders.size();  // the first folder the run made
  for (std::size_t i = 0; i < folders.size(); ++i) {
    result.folder = folders[i];
    // A share's root, reachable or not: its accounts are another machine's.
    if (i == 0 && isSeparator(folders[0][0])) {
      FolderLook share;
      share.remote = true;
      result.distrust = folderDistrust(share, FolderRole::onThePath, runningAccount);
      return result;
    }
    const std::uint32_t error =
        i == 0 ? code::alreadyExists : platform.createFolder(folders[i], access);
    if (error == 0) {
      made = i;  // and every folder below it, made by the run as well
      break;
    }
    const FolderLook look =
        error == code::alreadyExists ? platform.lookAtFolder(folders[i]) : FolderLook{};
    // A folder that cannot be made, or a file in its place: the run's own
    // fault (1622), unless another account may have put it there (TMP).
    // A root that cannot be read (a drive that is not there) is no other account's either.
    const std::uint32_t refused = error != code::alreadyExists        ? error
                                  : i == 0 && look.error != 0         ? look.error
                                  : look.error == 0 && !look.isFolder ? code::notAFolder
                                                                      : 0;
    if (refused != 0) {
      if (i == 0 || !othersMayAdd(parent, runningAccount)) {
        result.error = refused;
      } else {
        result.distrust = L"it cannot be made (Windows error " + decimal(refused) +
                          L"), and other accounts may add to the folder it is in";
      }
      return result;
    }
    const FolderRole role =
        i + 1 == folders.size() ? FolderRole::holdsTheLogs : FolderRole::onThePath;
    result.distrust = folderDistrust(look, role, runningAccount);
    if (!result.distrust.empty()) return result;
    parent = look;
  }
  for (std::size_t i = made + 1; i < folders.size(); ++i) {
    result.folder = folders[i];
    result.error = platform.createFolder(folders[i], access);
    if (result.error != 0) return result;
  }
  // The folder the first one was made in is looked at again: while it was
  // empty, it could have been turned into a link between the look and the making.
  if (made > 0 && made < folders.size()) {
    result.folder = folders[made - 1];
    result.distrust = folderDistrust(platform.lookAtFolder(folders[made - 1]),
                                     FolderRole::onThePath, runningAccount);
  }
  return result;
}

LogFolder judgeLogPath(OutputFile& log, const std::wstring& path,
                       const std::wstring& runningAccount) {
  LogFolder result;
  const std::vector<std::wstring> folders = foldersOf(path);
  if (folders.empty()) return result;
  result.folder = folders[0];
  const Answer<FoundPath> found = log.findFrom(folders[0], path.substr(folders[0].size()));
  if (found.failed()) {
    result.distrust =
        L"where the log was made cannot be told (Windows error " + decimal(found.error) + L")";
    return result;
  }
  for (std::size_t i = 0; i < found.value.folders.size() && i < folders.size(); ++i) {
    result.folder = folders[i];
    const FolderRole role =
        i + 1 == folders.size() ? FolderRole::holdsTheLogs : FolderRole::onThePath;
    result.distrust = folderDistrust(found.value.folders[i], role, runningAccount);
    if (!result.distrust.empty()) return result;
  }
  if (!found.value.sameFile) {
    result.distrust =
        L"the log made in it is elsewhere: a folder of its path was made a link as "
        L"the run made it";
  }
  return result;
}

NewLog createBeside(Platform& platform, const std::wstring& path, std::wstring why,
                    bool renamable) {
  const std::size_t separator = path.find_last_of(L"\\/");
  NewLog log = createLogFile(platform, path.substr(0, separator),
                             withoutExtension(path.substr(separator + 1)),
                             formatTimestamp(platform.localTime()), renamable);
  log.besideBecause = std::move(why);
  return log;
}

std::wstring whyNotKept(const KeptAside& kept) {
  if (kept.outcome == KeptAside::Outcome::notAFile) {
    return L"it is a folder or a link, which is never replaced";
  }
  if (kept.error == code::sharingViolation) {
    return L"another program holds it open (a run still writing it, or a viewer)";
  }
  return L"it could not be kept aside (Windows error " + decimal(kept.error) + L")";
}

NewLog placeLog(Platform& platform, const std::wstring& path) {
  NewLog log;
  log.path = path;
  log.file = platform.createNewFile(path, log.error, false);
  if (log.file || !isTaken(log.error)) return log;
  // The log of the run before, a failed one that a tool retries, say, is
  // kept once, renamed, so that the new one can take its name. What cannot
  // be kept is never replaced: neither a link (renaming or deleting one
  // acts, on some systems, on what it points to) nor a log that another
  // run is still writing.
  const KeptAside kept = platform.keepAside(path, keptLogName(path));
  if (!nameFreed(kept)) return createBeside(platform, path, whyNotKept(kept));
  log.file = platform.createNewFile(path, log.error, false);
  if (log.file || !isTaken(log.error)) return log;
  return createBeside(platform, path, L"another run took the name as this one kept the old log");
}

std::wstring keptLogName(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  const std::size_t name = separator == std::wstring::npos ? 0 : separator + 1;
  const bool dotLog =
      path.size() >= name + 4 && equalsIgnoringAsciiCase(path.substr(path.size() - 4), L".log");
  return dotLog ? path.substr(0, path.size() - 1) + L"_" : path + L".lo_";
}

std::wstring withoutExtension(const std::wstring& path) {
  const std::size_t dot = path.rfind(L'.');
  const std::size_t separator = path.find_last_of(L"\\/");
  if (dot == std::wstring::npos || (separator != std::wstring::npos && dot < separator))
    return path;
  return path.substr(0, dot);
}

}  // namespace eldoris

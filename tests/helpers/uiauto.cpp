// UI-automation helper for end-to-end tests. It runs in the same Wine prefix as
// the program under test, watches every top-level dialog of other processes,
// records each message box (caption, text, buttons) and the progress dialog's
// controls as JSON lines, and answers by rule.
//
//   uiauto.exe --rules FILE --log FILE [--stop-file FILE] [--until-exit NAME.exe]
//              [--timeout SECONDS]
//
// Rules, one per line, first match wins ('#' starts a comment):
//   box <text fragment or *> => <ok|cancel|yes|no|retry|abort|ignore|leave> [after FILE]
//                                        with "after", the answer waits until FILE exists
//   progress close-after <seconds>       post WM_CLOSE to the progress dialog
//   progress close-when-percent <n>      ... once its bar reaches n percent
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <map>
#include <set>
#include <stdio.h>
#include <string>
#include <vector>

namespace {

struct BoxRule {
  std::wstring fragment;
  int button;          // 0: leave the box alone
  std::wstring after;  // answered only once this file exists (empty: at once)
};

struct Options {
  std::wstring rulesPath, logPath, stopFile, untilExit;
  DWORD timeoutMs;
  std::vector<BoxRule> boxRules;
  int closeAfterSeconds;
  int closeWhenPercent;
};

Options g_options;
FILE* g_log = NULL;
DWORD g_start = 0;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), NULL, 0, NULL, NULL);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, NULL, NULL);
  return out;
}

std::string Json(const std::wstring& text) {
  std::string in = Utf8(text), out = "\"";
  for (size_t i = 0; i < in.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char esc[8];
      _snprintf(esc, sizeof(esc), "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

void LogLine(const std::string& line) {
  if (!g_log) return;
  fprintf(g_log, "{\"ms\": %lu, %s}\n", GetTickCount() - g_start, line.c_str());
  fflush(g_log);
}

std::wstring WindowText(HWND window) {
  wchar_t buf[4096];
  buf[0] = 0;
  // WM_GETTEXT works across processes, unlike GetWindowText on foreign controls.
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 1000, NULL);
  buf[4095] = 0;
  return buf;
}

std::wstring ClassOf(HWND window) {
  wchar_t buf[256];
  if (!GetClassNameW(window, buf, 256)) return std::wstring();
  return buf;
}

int ButtonId(const std::wstring& name) {
  static const struct {
    const wchar_t* name;
    int id;
  } kButtons[] = {{L"ok", IDOK},       {L"cancel", IDCANCEL}, {L"abort", IDABORT}, {L"retry", IDRETRY},
                  {L"ignore", IDIGNORE}, {L"yes", IDYES},       {L"no", IDNO},       {L"leave", 0}};
  for (size_t i = 0; i < sizeof(kButtons) / sizeof(kButtons[0]); ++i) {
    if (name == kButtons[i].name) return kButtons[i].id;
  }
  return -1;
}

std::wstring Trim(const std::wstring& s) {
  size_t a = s.find_first_not_of(L" \t\r\n");
  if (a == std::wstring::npos) return std::wstring();
  size_t b = s.find_last_not_of(L" \t\r\n");
  return s.substr(a, b - a + 1);
}

bool LoadRules(const std::wstring& path) {
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) return false;
  std::string all;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof(chunk), f)) > 0) all.append(chunk, n);
  fclose(f);
  int wn = MultiByteToWideChar(CP_UTF8, 0, all.c_str(), static_cast<int>(all.size()), NULL, 0);
  std::wstring text(wn, L'\0');
  if (wn) MultiByteToWideChar(CP_UTF8, 0, all.c_str(), static_cast<int>(all.size()), &text[0], wn);
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(L'\n', pos);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == L'#') continue;
    if (line.compare(0, 4, L"box ") == 0) {
      size_t arrow = line.find(L"=>");
      if (arrow == std::wstring::npos) continue;
      BoxRule rule;
      rule.fragment = Trim(line.substr(4, arrow - 4));
      std::wstring answer = Trim(line.substr(arrow + 2));
      size_t after = answer.find(L" after ");
      if (after != std::wstring::npos) {
        rule.after = Trim(answer.substr(after + 7));
        answer = Trim(answer.substr(0, after));
      }
      rule.button = ButtonId(answer);
      if (rule.button >= 0) g_options.boxRules.push_back(rule);
    } else if (line.compare(0, 21, L"progress close-after ") == 0) {
      g_options.closeAfterSeconds = _wtoi(line.c_str() + 21);
    } else if (line.compare(0, 28, L"progress close-when-percent ") == 0) {
      g_options.closeWhenPercent = _wtoi(line.c_str() + 28);
    }
  }
  return true;
}

struct Seen {
  DWORD firstSeen;
  std::string lastState;
  bool logged;
  bool answered;
  bool closeSent;
};

std::map<HWND, Seen> g_seen;
DWORD g_ownPid = 0;

struct ChildInfo {
  std::vector<std::pair<int, std::wstring> > buttons;
  std::wstring text;
  bool isProgress;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  ChildInfo* info = reinterpret_cast<ChildInfo*>(param);
  std::wstring cls = ClassOf(child);
  int id = GetDlgCtrlID(child);
  if (_wcsicmp(cls.c_str(), L"Button") == 0 && IsWindowVisible(child)) {
    info->buttons.push_back(std::make_pair(id, WindowText(child)));
  } else if (_wcsicmp(cls.c_str(), L"Static") == 0 && id == 0xFFFF) {
    info->text = WindowText(child);
  } else if (_wcsicmp(cls.c_str(), PROGRESS_CLASSW) == 0) {
    info->isProgress = true;
  }
  return TRUE;
}

void HandleProgress(HWND dialog, Seen& seen) {
  static const int kIds[] = {1004, 1002, 1003, 1005, -1};
  std::string state = "\"kind\": \"progress\", \"caption\": " + Json(WindowText(dialog));
  state += ", \"controls\": {";
  for (size_t i = 0; i < sizeof(kIds) / sizeof(kIds[0]); ++i) {
    HWND control = GetDlgItem(dialog, kIds[i]);
    char key[32];
    _snprintf(key, sizeof(key), "%s\"%d\": ", i ? ", " : "", kIds[i]);
    state += key;
    state += control ? Json(WindowText(control)) : std::string("null");
  }
  DWORD_PTR pos = 0;
  HWND bar = GetDlgItem(dialog, 1001);
  if (bar) SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &pos);
  RECT client = {0, 0, 0, 0};
  GetClientRect(dialog, &client);
  POINT origin = {0, 0};
  ClientToScreen(dialog, &origin);
  // The extended style tells a mirrored (right-to-left) dialog from a plain one.
  unsigned long exStyle = static_cast<unsigned long>(GetWindowLongW(dialog, GWL_EXSTYLE));
  char tail[192];
  _snprintf(tail, sizeof(tail), "}, \"percent\": %lu, \"client\": [%ld, %ld, %ld, %ld], \"exstyle\": %lu",
            static_cast<unsigned long>(pos), origin.x, origin.y, client.right, client.bottom, exStyle);
  state += tail;
  if (state != seen.lastState) {
    LogLine(state);
    seen.lastState = state;
  }
  if (seen.closeSent) return;
  bool close = (g_options.closeAfterSeconds > 0 &&
                GetTickCount() - seen.firstSeen >= static_cast<DWORD>(g_options.closeAfterSeconds) * 1000) ||
               (g_options.closeWhenPercent > 0 && static_cast<int>(pos) >= g_options.closeWhenPercent);
  if (close) {
    LogLine("\"kind\": \"action\", \"action\": \"close-progress\"");
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    seen.closeSent = true;
  }
}

void HandleBox(HWND box, const ChildInfo& info, Seen& seen) {
  if (seen.answered) return;
  int answer = -1;
  std::wstring after;
  for (size_t i = 0; i < g_options.boxRules.size(); ++i) {
    const BoxRule& rule = g_options.boxRules[i];
    if (rule.fragment == L"*" || info.text.find(rule.fragment) != std::wstring::npos) {
      answer = rule.button;
      after = rule.after;
      break;
    }
  }
  if (!seen.logged) {
    std::string line = "\"kind\": \"box\", \"caption\": " + Json(WindowText(box)) + ", \"text\": " + Json(info.text);
    line += ", \"buttons\": [";
    for (size_t i = 0; i < info.buttons.size(); ++i) {
      if (i) line += ", ";
      line += Json(info.buttons[i].second);
    }
    line += "]";
    char tail[48];
    _snprintf(tail, sizeof(tail), ", \"answer\": %d", answer);
    line += tail;
    LogLine(line);
    seen.logged = true;
  }
  if (!after.empty() && GetFileAttributesW(after.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  seen.answered = true;
  if (answer > 0) {
    HWND button = GetDlgItem(box, answer);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  }
}

BOOL CALLBACK VisitTopLevel(HWND window, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == g_ownPid || !IsWindowVisible(window)) return TRUE;
  if (ClassOf(window) != L"#32770") return TRUE;
  std::map<HWND, Seen>::iterator it = g_seen.find(window);
  if (it == g_seen.end()) {
    Seen fresh = {GetTickCount(), std::string(), false, false, false};
    it = g_seen.insert(std::make_pair(window, fresh)).first;
  }
  ChildInfo info;
  info.isProgress = false;
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&info));
  if (info.isProgress) {
    HandleProgress(window, it->second);
  } else if (!info.buttons.empty()) {
    // Give the box a moment to finish laying out its text.
    if (GetTickCount() - it->second.firstSeen >= 150) HandleBox(window, info, it->second);
  }
  return TRUE;
}

bool ProcessRunning(const std::wstring& exeName, bool* seenOnce) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return true;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof(entry);
  bool found = false;
  for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry)) {
    if (_wcsicmp(entry.szExeFile, exeName.c_str()) == 0) found = true;
  }
  CloseHandle(snapshot);
  if (found) *seenOnce = true;
  return found;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  g_options.timeoutMs = 120000;
  g_options.closeAfterSeconds = 0;
  g_options.closeWhenPercent = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::wstring key = argv[i], value = argv[i + 1];
    if (key == L"--rules") g_options.rulesPath = value;
    else if (key == L"--log") g_options.logPath = value;
    else if (key == L"--stop-file") g_options.stopFile = value;
    else if (key == L"--until-exit") g_options.untilExit = value;
    else if (key == L"--timeout") g_options.timeoutMs = static_cast<DWORD>(_wtoi(value.c_str())) * 1000;
  }
  if (!g_options.rulesPath.empty() && !LoadRules(g_options.rulesPath)) return 2;
  if (!g_options.logPath.empty()) g_log = _wfopen(g_options.logPath.c_str(), L"ab");
  g_ownPid = GetCurrentProcessId();
  g_start = GetTickCount();
  LogLine("\"kind\": \"start\"");
  bool targetSeen = false;
  DWORD goneSince = 0;
  for (;;) {
    EnumWindows(VisitTopLevel, 0);
    if (!g_options.stopFile.empty() && GetFileAttributesW(g_options.stopFile.c_str()) != INVALID_FILE_ATTRIBUTES) break;
    if (!g_options.untilExit.empty()) {
      bool running = ProcessRunning(g_options.untilExit, &targetSeen);
      if (targetSeen && !running) {
        if (!goneSince) goneSince = GetTickCount();
        if (GetTickCount() - goneSince > 300) break;
      } else {
        goneSince = 0;
      }
    }
    if (GetTickCount() - g_start > g_options.timeoutMs) {
      LogLine("\"kind\": \"timeout\"");
      break;
    }
    Sleep(100);
  }
  LogLine("\"kind\": \"stop\"");
  if (g_log) fclose(g_log);
  return 0;
}

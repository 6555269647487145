// Stand-in game client for the end-to-end tests. It walks a marker over a
// small map for every W/A/S/D/Q/E/Z/C key-down it receives and logs what a
// test needs to see: keys, titles, activation, where and how it was started.
// Behaviour switches come from CLIENT_* environment variables, which the
// launcher passes on with its own environment.

#include <windows.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "event_log.h"

namespace {

constexpr int MapColumns = 15;
constexpr int MapRows = 11;
constexpr int Cell = 24;
constexpr int MapLeft = 12;
constexpr int MapTop = 12;
constexpr int ListLeft = MapLeft + MapColumns * Cell + 20;
constexpr int LineHeight = 18;
constexpr size_t ListLength = 12;
constexpr int ClientWidth = 560;
constexpr int ClientHeight = 360;

enum TimerId : UINT_PTR {
  RetitleTimer = 1,
  ShowTimer,
  ExitTimer,
  HangTimer,
  HiddenRetitleTimer,
  ForegroundTimer,
};

struct Options {
  int retitleMs;
  bool popup;
  bool child;
  bool hidden;
  int hiddenRetitleMs;
  int showDelayMs;
  int exitAfterMs;
  int exitCode;
  bool exitAtOnce;
  int hangMs;
  int hangAfterMs;
  int startDelayMs;
};

Options options;
HWND mainWindow;
HWND popupWindow;
HWND childWindow;
HWND hiddenWindow;
HWND lastForeground;
UINT logWindowsMessage;
bool settingOwnTitle;
int retitleCount;
int exitCode;

POINT marker{MapColumns / 2, MapRows / 2};
std::vector<POINT> path{marker};
std::deque<std::wstring> recentKeys;

Options ReadOptions() {
  Options o{};
  o.retitleMs = EnvInt(L"CLIENT_RETITLE_MS", 0);
  o.popup = EnvInt(L"CLIENT_POPUP", 0) != 0;
  o.child = EnvInt(L"CLIENT_CHILD", 0) != 0;
  o.hidden = EnvInt(L"CLIENT_HIDDEN", 0) != 0;
  o.hiddenRetitleMs = EnvInt(L"CLIENT_HIDDEN_RETITLE_MS", 1000);
  o.showDelayMs = EnvInt(L"CLIENT_SHOW_DELAY_MS", 0);
  o.exitAfterMs = EnvInt(L"CLIENT_EXIT_AFTER_MS", 0);
  o.exitCode = EnvInt(L"CLIENT_EXIT_CODE", 0);
  o.exitAtOnce = EnvInt(L"CLIENT_EXIT_AT_ONCE", 0) != 0;
  o.hangMs = EnvInt(L"CLIENT_HANG_MS", 0);
  o.hangAfterMs = EnvInt(L"CLIENT_HANG_AFTER_MS", 0);
  o.startDelayMs = EnvInt(L"CLIENT_START_DELAY_MS", 0);
  return o;
}

const wchar_t* WindowName(HWND window) {
  if (window == nullptr) return L"none";
  if (window == mainWindow) return L"main";
  if (window == popupWindow) return L"popup";
  if (window == childWindow) return L"child";
  if (window == hiddenWindow) return L"hidden";
  return L"other";
}

void LogWindow(HWND window) {
  wchar_t className[256] = L"";
  GetClassNameW(window, className, 256);
  LogEvent(L"window hwnd=" + HandleText(window) + L" window=" + WindowName(window) + L" class=" + className +
               L" visible=" + std::to_wstring(IsWindowVisible(window) ? 1 : 0) +
               L" parent=" + HandleText(GetAncestor(window, GA_PARENT)) +
               L" owner=" + HandleText(GetWindow(window, GW_OWNER)),
           WindowTitle(window));
}

// Ends with a `windows` record so a reader knows the list is complete.
void LogWindows() {
  int count = 0;
  for (HWND window : {mainWindow, popupWindow, childWindow, hiddenWindow}) {
    if (window == nullptr) continue;
    LogWindow(window);
    ++count;
  }
  LogEvent(L"windows count=" + std::to_wstring(count));
}

void LogExit(int code) {
  LogEvent(L"exit code=" + std::to_wstring(code) + L" pid=" + std::to_wstring(GetCurrentProcessId()));
}

// Wine does not raise the show and name-change events itself; Windows' own
// window code does, and the launcher listens for them.
void ShowAndNotify(HWND window) {
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  NotifyWinEvent(EVENT_OBJECT_SHOW, window, OBJID_WINDOW, CHILDID_SELF);
  LogEvent(L"show hwnd=" + HandleText(window) + L" window=" + WindowName(window));
}

void SetOwnTitle(HWND window, const std::wstring& title) {
  settingOwnTitle = true;
  SetWindowTextW(window, title.c_str());
  settingOwnTitle = false;
}

bool MoveForKey(UINT vk) {
  int dx = 0, dy = 0;
  switch (vk) {
    case 'W': dy = -1; break;
    case 'A': dx = -1; break;
    case 'S': dy = 1; break;
    case 'D': dx = 1; break;
    case 'Q': dx = -1; dy = -1; break;
    case 'E': dx = 1; dy = -1; break;
    case 'Z': dx = -1; dy = 1; break;
    case 'C': dx = 1; dy = 1; break;
    default: return false;
  }
  marker.x = std::min(std::max(marker.x + dx, 0L), static_cast<LONG>(MapColumns - 1));
  marker.y = std::min(std::max(marker.y + dy, 0L), static_cast<LONG>(MapRows - 1));
  path.push_back(marker);
  LogEvent(L"move key=" + KeyName(vk) + L" dx=" + std::to_wstring(dx) + L" dy=" + std::to_wstring(dy) +
           L" x=" + std::to_wstring(marker.x) + L" y=" + std::to_wstring(marker.y) +
           L" moves=" + std::to_wstring(path.size() - 1));
  return true;
}

void RememberKey(UINT message, WPARAM wParam, LPARAM lParam) {
  bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
  bool repeat = down && ((static_cast<unsigned long long>(lParam) >> 30) & 1);
  std::wstring entry = KeyName(static_cast<UINT>(wParam)) + (down ? L" down" : L" up") + (repeat ? L" (repeat)" : L"");
  recentKeys.push_back(entry);
  if (recentKeys.size() > ListLength) recentKeys.pop_front();
}

POINT CellCentre(POINT cell) {
  return {MapLeft + cell.x * Cell + Cell / 2, MapTop + cell.y * Cell + Cell / 2};
}

void PutText(HDC dc, int x, int y, const std::wstring& text) {
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

void PaintMain(HDC dc, const RECT& area) {
  FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetBkMode(dc, TRANSPARENT);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));

  HPEN gridPen = CreatePen(PS_SOLID, 1, RGB(200, 200, 200));
  HGDIOBJ oldPen = SelectObject(dc, gridPen);
  for (int c = 0; c <= MapColumns; ++c) {
    MoveToEx(dc, MapLeft + c * Cell, MapTop, nullptr);
    LineTo(dc, MapLeft + c * Cell, MapTop + MapRows * Cell);
  }
  for (int r = 0; r <= MapRows; ++r) {
    MoveToEx(dc, MapLeft, MapTop + r * Cell, nullptr);
    LineTo(dc, MapLeft + MapColumns * Cell, MapTop + r * Cell);
  }

  HPEN pathPen = CreatePen(PS_SOLID, 3, RGB(40, 90, 220));
  SelectObject(dc, pathPen);
  POINT start = CellCentre(path.front());
  MoveToEx(dc, start.x, start.y, nullptr);
  for (const POINT& cell : path) {
    POINT p = CellCentre(cell);
    LineTo(dc, p.x, p.y);
  }
  SelectObject(dc, oldPen);

  HBRUSH startBrush = CreateSolidBrush(RGB(60, 170, 60));
  RECT startCell{start.x - 4, start.y - 4, start.x + 5, start.y + 5};
  FillRect(dc, &startCell, startBrush);

  HBRUSH markerBrush = CreateSolidBrush(RGB(220, 30, 30));
  HGDIOBJ oldBrush = SelectObject(dc, markerBrush);
  SelectObject(dc, GetStockObject(NULL_PEN));
  POINT m = CellCentre(marker);
  Ellipse(dc, m.x - 9, m.y - 9, m.x + 10, m.y + 10);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);

  SetTextColor(dc, RGB(0, 0, 0));
  PutText(dc, MapLeft, MapTop + MapRows * Cell + 10,
           L"position " + std::to_wstring(marker.x) + L"," + std::to_wstring(marker.y) + L"   moves " +
               std::to_wstring(path.size() - 1));
  // Without a window manager there is no title bar, so a screenshot shows the title here.
  PutText(dc, MapLeft, MapTop + MapRows * Cell + 10 + LineHeight, L"title: " + WindowTitle(mainWindow));
  PutText(dc, MapLeft, MapTop + MapRows * Cell + 10 + 2 * LineHeight, L"pid " + std::to_wstring(GetCurrentProcessId()));
  PutText(dc, ListLeft, MapTop, L"Keys received:");
  int y = MapTop + LineHeight + 4;
  for (const std::wstring& entry : recentKeys) {
    PutText(dc, ListLeft + 6, y, entry);
    y += LineHeight;
  }

  DeleteObject(markerBrush);
  DeleteObject(startBrush);
  DeleteObject(pathPen);
  DeleteObject(gridPen);
}

void PaintTitleOnly(HWND window, HDC dc, const RECT& area) {
  FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetBkMode(dc, TRANSPARENT);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  PutText(dc, 8, 8, WindowTitle(window));
}

// Paints off screen first so a screenshot never catches a half-drawn map.
void Paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT area;
  GetClientRect(window, &area);
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, area.right, area.bottom);
  HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
  if (window == mainWindow) {
    PaintMain(memory, area);
  } else {
    PaintTitleOnly(window, memory, area);
  }
  BitBlt(dc, 0, 0, area.right, area.bottom, memory, 0, 0, SRCCOPY);
  SelectObject(memory, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(memory);
  EndPaint(window, &ps);
}

void LogForegroundIfChanged() {
  HWND foreground = GetForegroundWindow();
  if (foreground == lastForeground) return;
  lastForeground = foreground;
  DWORD pid = 0;
  GetWindowThreadProcessId(foreground, &pid);
  LogEvent(L"foreground hwnd=" + HandleText(foreground) + L" pid=" + std::to_wstring(pid) +
           L" window=" + (pid == GetCurrentProcessId() ? WindowName(foreground) : L"none"));
}

void Retitle() {
  ++retitleCount;
  SetOwnTitle(mainWindow, L"Client " + std::to_wstring(retitleCount));
  if (popupWindow != nullptr) SetOwnTitle(popupWindow, L"Client popup " + std::to_wstring(retitleCount));
}

void Hang() {
  SetOwnTitle(mainWindow, L"Client hanging");
  LogEvent(L"hang ms=" + std::to_wstring(options.hangMs));
  Sleep(static_cast<DWORD>(options.hangMs));
  LogEvent(L"hang-end");
}

void OnTimer(HWND window, UINT_PTR id) {
  switch (id) {
    case RetitleTimer:
      Retitle();
      break;
    case ShowTimer:
      KillTimer(window, id);
      ShowAndNotify(mainWindow);
      break;
    case ExitTimer:
      KillTimer(window, id);
      exitCode = options.exitCode;
      DestroyWindow(mainWindow);
      break;
    case HangTimer:
      KillTimer(window, id);
      Hang();
      break;
    case HiddenRetitleTimer:
      KillTimer(window, id);
      SetOwnTitle(hiddenWindow, L"hidden 2");
      break;
    case ForegroundTimer:
      LogForegroundIfChanged();
      break;
  }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == logWindowsMessage && logWindowsMessage != 0) {
    LogWindows();
    return 0;
  }
  switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      LogKeyMessage(window, WindowName(window), message, wParam, lParam);
      if (window != mainWindow) break;
      RememberKey(message, wParam, lParam);
      if (message == WM_KEYDOWN) MoveForKey(static_cast<UINT>(wParam));
      InvalidateRect(window, nullptr, FALSE);
      break;
    case WM_SETTEXT: {
      LRESULT result = DefWindowProcW(window, message, wParam, lParam);
      LogEvent(L"title hwnd=" + HandleText(window) + L" window=" + WindowName(window) +
                   L" source=" + (settingOwnTitle ? L"self" : L"other"),
               lParam != 0 ? reinterpret_cast<const wchar_t*>(lParam) : L"");
      NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_WINDOW, CHILDID_SELF);
      InvalidateRect(window, nullptr, FALSE);
      return result;
    }
    case WM_ACTIVATE:
      LogEvent(L"active hwnd=" + HandleText(window) + L" window=" + WindowName(window) +
               L" state=" + std::to_wstring(LOWORD(wParam)) + L" minimized=" + std::to_wstring(HIWORD(wParam)) +
               L" other=" + HandleText(reinterpret_cast<HWND>(lParam)) +
               L" foreground=" + HandleText(GetForegroundWindow()));
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      LogEvent(std::wstring(L"focus ") + (message == WM_SETFOCUS ? L"gained" : L"lost") +
               L" hwnd=" + HandleText(window) + L" window=" + WindowName(window));
      break;
    case WM_TIMER:
      OnTimer(window, wParam);
      return 0;
    case WM_SYSCOMMAND:
      // No window menu for Alt to open: Wine, with a keyboard hook installed and the window
      // behind on its input, now and then takes Alt+key for a lone Alt, and the menu it then
      // opens eats the keys that follow.
      if ((wParam & 0xFFF0) == SC_KEYMENU) return 0;
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_DESTROY:
      if (window == mainWindow) PostQuitMessage(exitCode);
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateTopLevel(const wchar_t* className, const wchar_t* title, int x, int y, int width, int height, HWND owner) {
  RECT frame{0, 0, width, height};
  AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  return CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, x, y, frame.right - frame.left,
                         frame.bottom - frame.top, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
}

void RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = L"StandInClient";
  RegisterClassExW(&wc);
  wc.lpszClassName = L"StandInClientChild";
  RegisterClassExW(&wc);
}

void CreateWindows() {
  mainWindow = CreateTopLevel(L"StandInClient", L"Client", 20, 20, ClientWidth, ClientHeight, nullptr);
  if (options.popup) {
    popupWindow = CreateTopLevel(L"StandInClient", L"Client popup", 620, 40, 300, 160, mainWindow);
  }
  if (options.child) {
    childWindow = CreateWindowExW(0, L"StandInClientChild", L"Client child", WS_CHILD | WS_BORDER,
                                  ListLeft, ClientHeight - 60, 160, 40, mainWindow, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
  }
  if (options.hidden) {
    hiddenWindow = CreateTopLevel(L"StandInClient", L"hidden", 620, 260, 200, 100, nullptr);
  }
}

void ShowWindows() {
  if (options.showDelayMs > 0) {
    SetTimer(mainWindow, ShowTimer, static_cast<UINT>(options.showDelayMs), nullptr);
  } else {
    ShowAndNotify(mainWindow);
  }
  if (childWindow != nullptr) ShowAndNotify(childWindow);
  if (popupWindow != nullptr) ShowAndNotify(popupWindow);
}

void StartTimers() {
  SetTimer(mainWindow, ForegroundTimer, 50, nullptr);
  if (options.retitleMs > 0) SetTimer(mainWindow, RetitleTimer, static_cast<UINT>(options.retitleMs), nullptr);
  if (options.exitAfterMs > 0) SetTimer(mainWindow, ExitTimer, static_cast<UINT>(options.exitAfterMs), nullptr);
  if (options.hangMs > 0) SetTimer(mainWindow, HangTimer, static_cast<UINT>(options.hangAfterMs), nullptr);
  if (hiddenWindow != nullptr) {
    SetTimer(mainWindow, HiddenRetitleTimer, static_cast<UINT>(options.hiddenRetitleMs), nullptr);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  OpenEventLog(EnvText(L"CLIENT_LOG", L"client.log"));
  options = ReadOptions();
  LogStart();
  if (options.exitAtOnce) {
    LogExit(options.exitCode);
    CloseEventLog();
    return options.exitCode;
  }
  if (options.startDelayMs > 0) Sleep(static_cast<DWORD>(options.startDelayMs));

  logWindowsMessage = RegisterWindowMessageW(L"StandInClientLogWindows");
  RegisterClasses(instance);
  CreateWindows();
  ShowWindows();
  LogWindows();
  StartTimers();
  LogEvent(L"ready hwnd=" + HandleText(mainWindow));

  MSG msg;
  int code = 0;
  for (;;) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      code = static_cast<int>(msg.wParam);
      break;
    }
    if (got == -1) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  LogExit(code);
  CloseEventLog();
  return code;
}

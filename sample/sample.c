/* A small Windows program for trying a wrapper bundle: it shows a window for a few seconds
   and writes what it received (arguments, working folder, DISPLAY) to sample-received.txt
   beside itself. "--seconds N" sets how long the window stays up (default 3). */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

static const wchar_t kClassName[] = L"QuillonSampleWindow";
static const wchar_t kTitle[] = L"Quillon sample";
static wchar_t g_summary[4096];

/* Writes text as UTF-8 to the file. */
static void WriteUtf8(FILE* file, const wchar_t* text) {
  char buffer[8192];
  int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, (int)sizeof buffer, NULL, NULL);
  if (length > 1) fwrite(buffer, 1, (size_t)(length - 1), file);
}

/* Returns the path of the report file: sample-received.txt in the program's own folder. */
static void ReportPath(wchar_t* path, DWORD size) {
  DWORD length = GetModuleFileNameW(NULL, path, size);
  while (length > 0 && path[length - 1] != L'\\' && path[length - 1] != L'/') length--;
  path[length] = 0;
  wcsncat(path, L"sample-received.txt", size - length - 1);
}

static void WriteLine(FILE* file, const wchar_t* label, const wchar_t* value) {
  WriteUtf8(file, label);
  WriteUtf8(file, L": ");
  WriteUtf8(file, value);
  WriteUtf8(file, L"\n");
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER:
      DestroyWindow(window);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      HBRUSH brush = CreateSolidBrush(RGB(255, 140, 0));
      FillRect(dc, &area, brush);
      DeleteObject(brush);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(0, 0, 0));
      InflateRect(&area, -12, -12);
      DrawTextW(dc, g_summary, -1, &area, DT_LEFT | DT_WORDBREAK);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  (void)previous;
  (void)commandLine;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  int seconds = 3;
  for (int i = 1; argv && i + 1 < argc; i++) {
    if (wcscmp(argv[i], L"--seconds") == 0) seconds = _wtoi(argv[i + 1]);
  }
  if (seconds < 0) seconds = 0;

  wchar_t folder[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, folder);
  wchar_t display[256] = L"(not visible)";
  GetEnvironmentVariableW(L"DISPLAY", display, 256);
  wchar_t number[32];

  wchar_t reportPath[MAX_PATH];
  ReportPath(reportPath, MAX_PATH);
  FILE* report = _wfopen(reportPath, L"wb");
  if (report) {
    WriteLine(report, L"program", argc > 0 ? argv[0] : L"");
    swprintf(number, 32, L"%d", argc > 0 ? argc - 1 : 0);
    WriteLine(report, L"arguments", number);
    for (int i = 1; i < argc; i++) {
      wchar_t label[32];
      swprintf(label, 32, L"argument %d", i);
      WriteLine(report, label, argv[i]);
    }
    WriteLine(report, L"working folder", folder);
    WriteLine(report, L"DISPLAY", display);
    fflush(report);
  }
  _snwprintf(g_summary, 4095, L"Quillon sample\nworking folder: %ls\nDISPLAY: %ls\narguments: %d",
             folder, display, argc > 0 ? argc - 1 : 0);

  WNDCLASSW windowClass = {0};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kClassName;
  windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(WS_EX_TOPMOST, kClassName, kTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                40, 40, 480, 240, NULL, NULL, instance, NULL);
  if (window) {
    ShowWindow(window, show == SW_HIDE ? SW_SHOWNORMAL : show);
    UpdateWindow(window);
    SetTimer(window, 1, (UINT)seconds * 1000u, NULL);
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  if (report) {
    WriteLine(report, L"window", window ? L"shown and closed" : L"could not be created");
    fclose(report);
  }
  LocalFree(argv);
  return 0;
}

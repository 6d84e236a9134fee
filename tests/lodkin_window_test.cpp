// The packaging window in a real window under Xvfb: created modeless in this process
// from the program's own templates and driven with messages.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/drop_files.h"
#include "support/modeless_dialog.h"
#include "support/test_files.h"
#include "ui/lodkin_dlg.h"
#include "ui/resource.h"

namespace {

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(1, CreateModelessDialog(dialog_, IDD_PACKAGING_DIALOG));
    list_ = GetDlgItem(dialog_.m_hWnd, IDC_FILE_LIST);
  }
  void TearDown() override {
    if (IsWindow(dialog_.m_hWnd)) DestroyWindow(dialog_.m_hWnd);
  }

  // Drops the paths onto a window as the shell does, in the order given.
  void Drop(HWND target, const std::vector<std::string>& paths) { DropFiles(target, paths); }
  void Drop(const std::vector<std::string>& paths) { Drop(list_, paths); }

  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    int count = dialog_.m_fileList.GetItemCount();
    for (int row = 0; row < count; ++row) {
      char text[260];
      dialog_.m_fileList.GetItemText(row, 0, text, sizeof(text));
      rows.push_back(text);
    }
    return rows;
  }

  std::string StatusText() {
    char text[260] = {0};
    GetDlgItemTextA(dialog_.m_hWnd, IDC_STATUS, text, sizeof(text));
    return text;
  }

  // A control's rectangle in client coordinates of the window.
  RECT ControlRect(int id) {
    RECT rect;
    GetWindowRect(GetDlgItem(dialog_.m_hWnd, id), &rect);
    MapWindowPoints(nullptr, dialog_.m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }

  std::string MakeFile(const std::string& name) {
    std::string path = folder_.Join(name);
    WriteFileText(path, name);
    return path;
  }

  CLodkinDlg dialog_;
  HWND list_ = nullptr;
  TempFolder folder_;
};

void ExpectRect(const RECT& rect, int x, int y, int width, int height, const char* what) {
  EXPECT_EQ(x, rect.left) << what;
  EXPECT_EQ(y, rect.top) << what;
  EXPECT_EQ(width, rect.right - rect.left) << what;
  EXPECT_EQ(height, rect.bottom - rect.top) << what;
}

TEST_F(WindowTest, OpensTopmostAtTheCornerWithTheListPrepared) {
  RECT window;
  GetWindowRect(dialog_.m_hWnd, &window);
  ExpectRect(window, 0, 0, 500, 400, "window");
  EXPECT_TRUE(IsWindowVisible(dialog_.m_hWnd));
  EXPECT_TRUE(GetWindowLongA(dialog_.m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(0x21, SendMessageA(list_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  EXPECT_EQ(GetFocus(), list_);

  char heading[64] = {0};
  LVCOLUMNA column = {};
  column.mask = LVCF_TEXT;
  column.pszText = heading;
  column.cchTextMax = sizeof(heading);
  ASSERT_TRUE(SendMessageA(list_, LVM_GETCOLUMNA, 0, reinterpret_cast<LPARAM>(&column)));
  EXPECT_STREQ("File name", heading);
  EXPECT_EQ(StatusText(), "Drag and drop files into list box");

  // Only the list accepts files from the shell.
  EXPECT_TRUE(GetWindowLongA(list_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(dialog_.m_hWnd, IDC_COMPRESS));
  for (int id : {IDC_PACK, IDC_DELETE, IDC_STATUS, IDC_COMPRESS}) {
    EXPECT_FALSE(GetWindowLongA(GetDlgItem(dialog_.m_hWnd, id), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  }
  EXPECT_FALSE(GetWindowLongA(dialog_.m_hWnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);

  EXPECT_EQ(reinterpret_cast<LRESULT>(dialog_.m_hIcon),
            SendMessageA(dialog_.m_hWnd, WM_QUERYDRAGICON, 0, 0));
  EXPECT_NE(nullptr, dialog_.m_hIcon);
}

TEST_F(WindowTest, ControlsKeepTheirDistancesToTheEdgesAndTheSizeHasAFloor) {
  SetWindowPos(dialog_.m_hWnd, nullptr, 0, 0, 731, 547, SWP_NOMOVE | SWP_NOZORDER);
  RECT client;
  GetClientRect(dialog_.m_hWnd, &client);
  int cx = client.right, cy = client.bottom;
  ExpectRect(ControlRect(IDC_FILE_LIST), 5, 5, cx - 10, cy - 40, "list");
  ExpectRect(ControlRect(IDC_DELETE), cx - 140, cy - 30, 120, 25, "Delete");
  ExpectRect(ControlRect(IDC_PACK), cx - 270, cy - 30, 120, 25, "Pack");
  ExpectRect(ControlRect(IDC_COMPRESS), cx - 360, cy - 30, 80, 25, "Compress");
  ExpectRect(ControlRect(IDC_STATUS), 10, cy - 24, cx - 380, 25, "status");
  EXPECT_EQ(cx - 14, SendMessageA(list_, LVM_GETCOLUMNWIDTH, 0, 0));

  MINMAXINFO limits = {};
  limits.ptMaxTrackSize.x = 1234;
  SendMessageA(dialog_.m_hWnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(500, limits.ptMinTrackSize.x);
  EXPECT_EQ(400, limits.ptMinTrackSize.y);
  EXPECT_EQ(1234, limits.ptMaxTrackSize.x);
}

TEST_F(WindowTest, OnlyTheCloseCommandClosesTheWindow) {
  SendMessageA(dialog_.m_hWnd, WM_COMMAND, IDOK, 0);      // Enter
  SendMessageA(dialog_.m_hWnd, WM_COMMAND, IDCANCEL, 0);  // Escape
  SendMessageA(list_, WM_KEYDOWN, VK_ESCAPE, 0);
  SendMessageA(dialog_.m_hWnd, WM_SYSCOMMAND, SC_CLOSE | 1, 0);
  EXPECT_TRUE(IsWindowVisible(dialog_.m_hWnd));
  SendMessageA(dialog_.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindowVisible(dialog_.m_hWnd));
}

// The window's own table, driven with made-up messages and no window behind it: what it
// claims reaches its handler; what it leaves, and what a handler hands back, is not
// handled, so that the dialog manager does the default processing.
TEST(WindowMessageTable, MadeUpMessagesReachTheirHandlersOrAreLeftToTheDialogManager) {
  CLodkinDlg dialog;
  MINMAXINFO limits = {};
  limits.ptMinTrackSize.x = 77;
  struct Case {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    MessageOutcome outcome;
    const char* what;
  };
  const Case cases[] = {
      {WM_SYSCOMMAND, SC_MOVE, 0, kMessageNotHandled, "move: the dialog manager's"},
      {WM_SYSCOMMAND, SC_MINIMIZE, 0, kMessageNotHandled, "minimise: the dialog manager's"},
      {WM_PAINT, 0, 0, kMessageNotHandled, "painting a window that is not minimised"},
      {WM_QUERYDRAGICON, 0, 0, kMessageHandled, "the icon while dragged"},
      {WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits), kMessageHandled,
       "size limits before the list exists: left as they are, no default processing"},
      {WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0, kMessageHandled, "Enter does nothing"},
      {WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0, kMessageHandled, "Escape does nothing"},
      {WM_COMMAND, MAKEWPARAM(IDC_DELETE, BN_CLICKED), 0, kMessageHandled, "Delete"},
      {WM_COMMAND, MAKEWPARAM(IDC_PACK, BN_DOUBLECLICKED), 0, kMessageNotHandled,
       "another notification of the Pack button"},
      {WM_COMMAND, MAKEWPARAM(IDC_FILE_LIST, BN_CLICKED), 0, kMessageNotHandled, "a control without a command"},
      {WM_DROPFILES, 0, 0, kMessageNotHandled, "drops are the list's"},
      {WM_TIMER, 1, 0, kMessageNotHandled, "no timer while no pack runs"},
      {WM_PACK_ENDED, 0, 0, kMessageNotHandled, "the end of a pack that is not running"},
      {WM_NULL, 0, 0, kMessageNotHandled, "the message whose number ends a table"},
  };
  for (const Case& c : cases) {
    LRESULT result = 12345;
    EXPECT_EQ(c.outcome, dialog.DispatchToHandler(c.message, c.wParam, c.lParam, &result)) << c.what;
    if (c.message == WM_QUERYDRAGICON) EXPECT_EQ(reinterpret_cast<LRESULT>(dialog.m_hIcon), result);
  }
  EXPECT_EQ(77, limits.ptMinTrackSize.x);
}

// A handler that hands its message back may first dispatch another one to the same object
// (a modal box pumps messages): each message keeps its own outcome.
TEST(WindowMessageTable, ANestedMessageKeepsItsOwnOutcome) {
  class Nesting : public CCmdTarget {
   public:
    typedef Nesting ThisClass;
    void OnPaint() {
      LRESULT inner = 0;
      innerOutcome = DispatchToHandler(WM_SYSCOMMAND, SC_MOVE, 0, &inner);
    }
    void OnSysCommand(UINT, LPARAM) { SetMsgHandled(FALSE); }
    const MessageMap* GetMessageMap() const override { return &map_; }
    MessageOutcome innerOutcome = kMessageHandled;

   private:
    const MessageMapEntry entries_[3] = {ON_WM_PAINT() ON_WM_SYSCOMMAND() {0, 0, 0, kSigVoid, nullptr}};
    const MessageMap map_ = {&CCmdTarget::messageMap_, entries_};
  };
  Nesting target;
  LRESULT result = 0;
  EXPECT_EQ(kMessageHandled, target.DispatchToHandler(WM_PAINT, 0, 0, &result));
  EXPECT_EQ(kMessageNotHandled, target.innerOutcome);
  EXPECT_EQ(kMessageNotHandled, target.DispatchToHandler(WM_SYSCOMMAND, SC_SIZE, 0, &result));
  EXPECT_EQ(kMessageHandled, target.DispatchToHandler(WM_PAINT, 0, 0, &result));
}

// The dialog procedure of the real window: FALSE for what it leaves to the dialog manager,
// which then does the default processing (a real minimise and restore still work).
TEST_F(WindowTest, TheDialogProcedureReturnsFalseForWhatItDoesNotHandle) {
  HWND window = dialog_.m_hWnd;
  DLGPROC procedure = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(window, DWLP_DLGPROC));
  ASSERT_NE(nullptr, procedure);
  EXPECT_EQ(FALSE, procedure(window, WM_TIMER, 1, 0));
  EXPECT_EQ(FALSE, procedure(window, WM_SYSCOMMAND, SC_MINIMIZE, 0));
  EXPECT_FALSE(IsIconic(window)) << "a dialog procedure must not minimise by itself";
  EXPECT_EQ(FALSE, procedure(window, WM_PAINT, 0, 0));
  EXPECT_EQ(reinterpret_cast<INT_PTR>(dialog_.m_hIcon), procedure(window, WM_QUERYDRAGICON, 0, 0));
  SetWindowLongPtrA(window, DWLP_MSGRESULT, 99);
  EXPECT_EQ(TRUE, procedure(window, WM_COMMAND, IDCANCEL, 0));
  EXPECT_EQ(0, GetWindowLongPtrA(window, DWLP_MSGRESULT));

  SendMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(IsIconic(window));
  EXPECT_EQ(TRUE, procedure(window, WM_PAINT, 0, 0)) << "the minimised window paints its icon";
  SendMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsIconic(window));
  EXPECT_TRUE(IsWindowVisible(window));
}

struct AboutSeen {
  HWND mainWindow;
  bool opened;
  std::string okText;
  std::string version;
};
AboutSeen g_about;

BOOL CALLBACK CloseIfAboutBox(HWND window, LPARAM) {
  char className[16] = {0};
  GetClassNameA(window, className, sizeof(className));
  if (window == g_about.mainWindow || strcmp(className, "#32770") != 0) return TRUE;
  if (!IsWindowVisible(window)) return TRUE;
  g_about.opened = true;
  char text[128] = {0};
  GetDlgItemTextA(window, IDOK, text, sizeof(text));
  g_about.okText = text;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    GetWindowTextA(child, text, sizeof(text));
    if (strncmp(text, "Lodkin ", 7) == 0) g_about.version = text;
  }
  // The About box's own OK handling ends it.
  SendMessageA(window, WM_COMMAND, IDOK, 0);
  return FALSE;
}

void CALLBACK CloseAboutBox(HWND, UINT, UINT_PTR timer, DWORD) {
  EnumThreadWindows(GetCurrentThreadId(), &CloseIfAboutBox, 0);
  if (g_about.opened) KillTimer(nullptr, timer);
}

// The prefix's code page is not Korean: the entry must still read as the resource
// holds it, which only the wide functions show.
TEST_F(WindowTest, SystemMenuEntryOpensTheAboutBox) {
  HMENU menu = GetSystemMenu(dialog_.m_hWnd, FALSE);
  wchar_t entry[64] = {0};
  ASSERT_GT(GetMenuStringW(menu, IDM_ABOUTBOX, entry, 64, MF_BYCOMMAND), 0);
  EXPECT_EQ(std::wstring(entry), std::wstring(L"Lodkin \xC815\xBCF4(&A)..."));

  g_about = AboutSeen();
  g_about.mainWindow = dialog_.m_hWnd;
  UINT_PTR timer = SetTimer(nullptr, 0, 50, &CloseAboutBox);
  // Low bits set: still the About command. Returns when the box has closed.
  SendMessageA(dialog_.m_hWnd, WM_SYSCOMMAND, IDM_ABOUTBOX | 0xF, 0);
  KillTimer(nullptr, timer);
  EXPECT_TRUE(g_about.opened);
  EXPECT_FALSE(g_about.okText.empty());
  EXPECT_EQ(0u, g_about.version.find("Lodkin ")) << g_about.version;
  EXPECT_NE(std::string::npos, g_about.version.find(" 1.0")) << g_about.version;
  EXPECT_TRUE(IsWindowVisible(dialog_.m_hWnd));
}

TEST_F(WindowTest, DroppedFilesGoInAtTheTopOncePerExactPath) {
  std::string x = MakeFile("x.txt"), y = MakeFile("y.txt"), z = MakeFile("z.txt");
  std::string w = MakeFile("w.txt");
  Drop({x, y, z});
  EXPECT_EQ(Rows(), (std::vector<std::string>{z, y, x}));
  Drop({w, x, w});
  EXPECT_EQ(Rows(), (std::vector<std::string>{w, z, y, x}));

  // Letter case counts: the same file with another spelling is another entry.
  std::string otherCase = w;
  otherCase[0] = static_cast<char>(otherCase[0] ^ 0x20);
  Drop({otherCase});
  EXPECT_EQ(Rows(), (std::vector<std::string>{otherCase, w, z, y, x}));
  EXPECT_EQ(StatusText(), "Drag and drop files into list box");
}

TEST_F(WindowTest, MissingFilesOverlongPathsAndDriveRootsAreRefusedSilently) {
  SetDlgItemTextA(dialog_.m_hWnd, IDC_STATUS, "before");
  std::string kept = MakeFile("kept.txt");

  // A file whose path has 259 characters, and a longer dropped path that would name
  // it if it were cut to the 260-byte buffer.
  std::string longName(259 - folder_.path().size() - 1, 'n');
  std::string exact = MakeFile(longName);
  ASSERT_EQ(259u, exact.size());
  ASSERT_TRUE(FileExists(exact));
  std::string overlong = exact + "-another-file.txt";

  // A drive root has no name to give its tree.
  Drop({"C:\\", folder_.Join("missing.txt"), overlong, kept});
  EXPECT_EQ(Rows(), (std::vector<std::string>{kept}));
  Drop({exact});
  EXPECT_EQ(Rows(), (std::vector<std::string>{exact, kept}));
  EXPECT_EQ(StatusText(), "before");
}

TEST_F(WindowTest, ADroppedFolderIsOneRowLikeAFile) {
  SetDlgItemTextA(dialog_.m_hWnd, IDC_STATUS, "before");
  TempFolder empty(folder_.path());
  TempFolder full(folder_.path());
  const std::string inside = full.Join("a.txt");
  WriteFileText(inside, "a");
  std::string otherCase = full.path();
  otherCase[0] = static_cast<char>(otherCase[0] ^ 0x20);
  // The folder once, however often it is dropped; its files are not rows of their own
  // unless dropped themselves; letter case counts as it does for files.
  Drop({full.path(), empty.path(), full.path()});
  EXPECT_EQ(Rows(), (std::vector<std::string>{empty.path(), full.path()}));
  Drop({inside, empty.path(), otherCase});
  EXPECT_EQ(Rows(), (std::vector<std::string>{otherCase, inside, empty.path(), full.path()}));
  EXPECT_EQ(StatusText(), "before");
}

TEST_F(WindowTest, FilesDroppedOnTheButtonsAreNotTaken) {
  std::string file = MakeFile("a.txt");
  Drop(GetDlgItem(dialog_.m_hWnd, IDC_PACK), {file});
  Drop(GetDlgItem(dialog_.m_hWnd, IDC_DELETE), {file});
  Drop(dialog_.m_hWnd, {file});
  EXPECT_TRUE(Rows().empty());
  // The same drop onto the list is taken: the drops above did reach their windows.
  Drop({file});
  EXPECT_EQ(Rows(), std::vector<std::string>{file});
}

void Select(HWND list, int row) {
  LVITEMA item = {};
  item.stateMask = LVIS_SELECTED;
  item.state = LVIS_SELECTED;
  SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

// What a drop must leave, computed the plain way: each path against every row, the
// readable new ones inserted at the top, in the shell's order.
std::vector<std::string> ExpectedAfterDrop(std::vector<std::string> rows, const std::vector<std::string>& dropped,
                                           const std::set<std::string>& readable) {
  for (const std::string& path : dropped) {
    if (path.size() >= 260 || !readable.count(path)) continue;
    if (std::find(rows.begin(), rows.end(), path) != rows.end()) continue;
    rows.insert(rows.begin(), path);
  }
  return rows;
}

// Times of the list's WM_PAINTs, seen through one more subclass on top of the control's.
WNDPROC g_listProc = nullptr;
std::vector<DWORD> g_listPaints;
LRESULT CALLBACK RecordPaints(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) g_listPaints.push_back(GetTickCount());
  return CallWindowProcA(g_listProc, window, message, wParam, lParam);
}

TEST_F(WindowTest, ADropOfThousandsKeepsEveryRuleAndStepsWithDelete) {
  // Existing rows, files dropped again, twins in letter case, the same path twice in one
  // drop, missing files, a folder and overlong paths, all in one drop.
  std::vector<std::string> files;
  std::set<std::string> readable;
  for (int i = 0; i < 1200; ++i) {
    char name[32];
    snprintf(name, sizeof(name), "f%04d.txt", i);
    files.push_back(folder_.Join(name));
    HANDLE file = CreateFileA(files.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    readable.insert(files.back());
  }
  std::vector<std::string> first(files.begin(), files.begin() + 200);
  Drop(first);
  std::vector<std::string> expected = ExpectedAfterDrop({}, first, readable);
  ASSERT_EQ(Rows(), expected);

  std::vector<std::string> dropped;
  for (int i = 0; i < 1200; ++i) {
    const std::string& path = files[(i * 7) % 1200];
    dropped.push_back(path);
    if (i % 5 == 0) {
      std::string twin = path;
      twin[twin.size() - 3] = 'T';  // "f0001.Txt": the same file, another entry
      dropped.push_back(twin);
      readable.insert(twin);
    }
    if (i % 9 == 0) dropped.push_back(folder_.Join("missing" + std::to_string(i)));
    if (i % 11 == 0) dropped.push_back(files[i / 2]);
    if (i % 97 == 0) dropped.push_back(path + std::string(300, 'x'));
  }
  dropped.push_back(folder_.path());
  readable.insert(folder_.path());  // a folder is taken as a file is
  Drop(dropped);
  expected = ExpectedAfterDrop(expected, dropped, readable);
  ASSERT_EQ(Rows(), expected);

  // Rows deleted between two drops come back when dropped again; the others stay once.
  for (int row = 0; row < static_cast<int>(expected.size()); row += 3) Select(list_, row);
  SendMessageA(dialog_.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DELETE, BN_CLICKED), 0);
  std::vector<std::string> kept;
  for (size_t row = 0; row < expected.size(); ++row) {
    if (row % 3 != 0) kept.push_back(expected[row]);
  }
  ASSERT_EQ(Rows(), kept);
  Drop(dropped);
  EXPECT_EQ(Rows(), ExpectedAfterDrop(kept, dropped, readable));
}

TEST_F(WindowTest, TheListIsPaintedWhileALongDropGoesOn) {
  // Paths of missing files: each costs a look at the disk, none is taken. An empty folder
  // of their own keeps every look short.
  TempFolder empty(folder_.path());
  std::vector<std::string> dropped;
  for (int i = 0; i < 60000; ++i) dropped.push_back(empty.Join("gone" + std::to_string(i) + ".txt"));
  dropped.push_back(MakeFile("last.txt"));

  g_listPaints.clear();
  g_listProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordPaints)));
  const DWORD start = GetTickCount();
  Drop(dropped);
  const DWORD end = GetTickCount();
  SetWindowLongPtrA(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_listProc));
  EXPECT_EQ(Rows(), (std::vector<std::string>{dropped.back()}));

  DWORD longest = 0;
  DWORD previous = start;
  for (DWORD paint : g_listPaints) {
    longest = std::max(longest, paint - previous);
    previous = paint;
  }
  longest = std::max(longest, end - previous);
  EXPECT_LT(longest, 1000u) << "painted " << g_listPaints.size() << " times in " << end - start << " ms";
  EXPECT_GE(g_listPaints.size(), static_cast<size_t>((end - start) / 500)) << end - start << " ms";
}

TEST_F(WindowTest, DeleteRemovesTheSelectedRowsAndResetsTheStatusWhenEmpty) {
  std::vector<std::string> files;
  for (char name = 'a'; name <= 'f'; ++name) files.push_back(MakeFile(std::string(1, name)));
  Drop({files[5], files[4], files[3], files[2], files[1], files[0]});
  ASSERT_EQ(Rows(), files);

  SetDlgItemTextA(dialog_.m_hWnd, IDC_STATUS, "Error: earlier message");
  Select(list_, 1);
  Select(list_, 3);
  Select(list_, 4);
  SendMessageA(GetDlgItem(dialog_.m_hWnd, IDC_DELETE), BM_CLICK, 0, 0);
  EXPECT_EQ(Rows(), (std::vector<std::string>{files[0], files[2], files[5]}));
  EXPECT_EQ(StatusText(), "Error: earlier message");

  SendMessageA(dialog_.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DELETE, BN_CLICKED), 0);
  EXPECT_EQ(3u, Rows().size()) << "nothing selected: nothing deleted";
  for (int row = 0; row < 3; ++row) Select(list_, row);
  SendMessageA(dialog_.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DELETE, BN_CLICKED), 0);
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(StatusText(), "Drag and drop files into list box");

  // Also on an already empty list.
  SetDlgItemTextA(dialog_.m_hWnd, IDC_STATUS, "Packaging is completed");
  SendMessageA(dialog_.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DELETE, BN_CLICKED), 0);
  EXPECT_EQ(StatusText(), "Drag and drop files into list box");

  // For the README's screenshot: keep the window up with a few files listed.
  const char* pause = getenv("LODKIN_SCREENSHOT_SECONDS");
  if (pause != nullptr) {
    Drop({files[0], files[1], files[2]});
    DWORD end = GetTickCount() + 1000 * atoi(pause);
    while (GetTickCount() < end) {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
      Sleep(20);
    }
  }
}

}  // namespace

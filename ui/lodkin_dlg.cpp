#include "ui/lodkin_dlg.h"

#include "ui/about_dlg.h"
#include "ui/pack_command.h"
#include "ui/resource.h"
#include "win32/unique_resource.h"

const char kDropFilesPrompt[] = "Drag and drop files into list box";
const char kCompressingFormat[] = "Compressing %u %%";
static const char kFileNameColumn[] = "File name";
static const UINT_PTR kProgressTimer = 1;
static const UINT kProgressEvery = 250;  // milliseconds
static const int kWindowWidth = 500;
static const int kWindowHeight = 400;

BEGIN_MESSAGE_MAP(CLodkinDlg, CDialog)
  ON_WM_SYSCOMMAND()
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_BN_CLICKED(IDC_PACK, OnPack)
  ON_BN_CLICKED(IDC_DELETE, OnDelete)
  ON_WM_SIZE()
  ON_WM_GETMINMAXINFO()
  ON_MESSAGE_VOID(WM_TIMER, OnProgressTimer)
  ON_MESSAGE_VOID(WM_PACK_ENDED, OnPackEnded)
END_MESSAGE_MAP()

CLodkinDlg::CLodkinDlg(CWnd* parent)
    : CDialog(IDD_PACKAGING_DIALOG, parent),
      m_hIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

void CLodkinDlg::DoDataExchange(CDataExchange* exchange) {
  DDX_Control(exchange, IDC_STATUS, m_statusText);
  DDX_Control(exchange, IDC_PACK, m_packButton);
  DDX_Control(exchange, IDC_DELETE, m_deleteButton);
  DDX_Control(exchange, IDC_FILE_LIST, m_fileList);
  DDX_Control(exchange, IDC_COMPRESS, m_compressBox);
}

BOOL CLodkinDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE);
  if (systemMenu != nullptr) {
    // The entry is Korean: through the ANSI functions it would read "??" on every
    // system whose code page is not Korean, so this one text goes the wide way.
    wchar_t aboutText[260];
    memset(aboutText, 0, sizeof(aboutText));
    LoadStringW(GetModuleHandleA(nullptr), IDS_ABOUTBOX, aboutText, sizeof(aboutText) / sizeof(aboutText[0]));
    if (aboutText[0] != L'\0') {
      AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
    }
  }

  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  // Only the list takes dropped files; drops elsewhere on the window are refused.
  DragAcceptFiles(m_fileList.m_hWnd, TRUE);
  SendMessageA(m_fileList.m_hWnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  LVCOLUMNA column;
  ZeroMemory(&column, sizeof(column));
  column.mask = LVCF_FMT | LVCF_TEXT;
  column.fmt = LVCFMT_LEFT;
  column.pszText = const_cast<char*>(kFileNameColumn);
  SendMessageA(m_fileList.m_hWnd, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));

  MoveWindow(m_hWnd, 0, 0, kWindowWidth, kWindowHeight, TRUE);
  SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
  return TRUE;
}

void CLodkinDlg::OnSysCommand(UINT nID, LPARAM lParam) {
  if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about;
    about.DoModal();
  } else if (nID == SC_CLOSE) {
    // A pack still running stops, and its temporary package goes, before the window does.
    if (m_pack.get() != nullptr) {
      KillTimer(m_hWnd, kProgressTimer);
      m_pack.get()->Stop();
      m_pack.get()->Wait();
      m_pack.Reset();
    }
    // The base dialog's OK handling: OnOK here does nothing, so that Enter cannot close.
    CDialog::OnOK();
  } else {
    SetMsgHandled(FALSE);  // move, size, minimise and the rest: the dialog manager's
  }
}

void CLodkinDlg::OnPaint() {
  if (!IsIconic(m_hWnd)) {
    SetMsgHandled(FALSE);  // the dialog manager paints the restored window
    return;
  }
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  int iconWidth = GetSystemMetrics(SM_CXICON);
  int iconHeight = GetSystemMetrics(SM_CYICON);
  RECT client;
  GetClientRect(m_hWnd, &client);
  int x = (client.right - client.left - iconWidth + 1) / 2;
  int y = (client.bottom - client.top - iconHeight + 1) / 2;
  DrawIcon(dc, x, y, m_hIcon);
  EndPaint(m_hWnd, &paint);
}

HCURSOR CLodkinDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CLodkinDlg::OnSize(UINT nType, int cx, int cy) {
  // WM_SIZE also arrives while the window is being created, before the controls exist.
  if (IsWindow(m_fileList.m_hWnd)) {
    MoveWindow(m_fileList.m_hWnd, 5, 5, cx - 10, cy - 40, TRUE);
    SendMessageA(m_fileList.m_hWnd, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(cx - 14, 0));
  }
  if (IsWindow(m_deleteButton.m_hWnd)) MoveWindow(m_deleteButton.m_hWnd, cx - 140, cy - 30, 120, 25, TRUE);
  if (IsWindow(m_packButton.m_hWnd)) MoveWindow(m_packButton.m_hWnd, cx - 270, cy - 30, 120, 25, TRUE);
  if (IsWindow(m_compressBox.m_hWnd)) MoveWindow(m_compressBox.m_hWnd, cx - 360, cy - 30, 80, 25, TRUE);
  // Up to 10 pixels before the box.
  if (IsWindow(m_statusText.m_hWnd)) MoveWindow(m_statusText.m_hWnd, 10, cy - 24, cx - 380, 25, TRUE);
  InvalidateRect(m_hWnd, nullptr, TRUE);
  SetMsgHandled(FALSE);  // and the dialog manager's own processing of the new size
}

void CLodkinDlg::OnGetMinMaxInfo(MINMAXINFO* info) {
  if (!IsWindow(m_fileList.m_hWnd)) return;
  info->ptMinTrackSize.x = kWindowWidth;
  info->ptMinTrackSize.y = kWindowHeight;
}

void CLodkinDlg::OnDelete() {
  HWND list = m_fileList.m_hWnd;
  int selected = static_cast<int>(SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0));
  const UniqueHeapBlock<int> rowBlock = selected > 0 ? AllocateHeapBlock<int>(selected) : UniqueHeapBlock<int>();
  int* rows = rowBlock.get();
  if (rows != nullptr) {
    int collected = 0;
    int row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
    while (row != -1 && collected < selected) {
      rows[collected++] = row;
      row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, row, LVNI_SELECTED));
    }
    // Highest row first, so that no deletion moves a row still to be deleted. The list
    // is redrawn once at the end: under Wine a visible list view redraws at once after
    // every deletion, which makes deleting thousands of rows take minutes.
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    while (collected > 0) SendMessageA(list, LVM_DELETEITEM, rows[--collected], 0);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  }
  if (m_fileList.GetItemCount() == 0) SetDlgItemText(IDC_STATUS, kDropFilesPrompt);
}

namespace {

// The Pack command's view of the window: the list's rows and the window's reports.
class DialogFileList : public PackFileList {
 public:
  explicit DialogFileList(const CListCtrl& list) : list_(list) {}
  int GetCount() const override { return list_.GetItemCount(); }
  void GetRowText(int row, char (&text)[260]) const override {
    list_.GetItemText(row, 0, text, sizeof(text));
  }

 private:
  const CListCtrl& list_;
};

class DialogReport : public PackReport {
 public:
  explicit DialogReport(CDialog& dialog) : dialog_(dialog) {}
  void SetStatusText(const char* text) override { dialog_.SetDlgItemText(IDC_STATUS, text); }
  void ShowMessage(const char* text, const char* caption) override {
    MessageBoxA(dialog_.m_hWnd, text, caption, MB_OK);
  }

 private:
  CDialog& dialog_;
};

}  // namespace

void CLodkinDlg::OnPack() {
  if (SendMessageA(m_compressBox.m_hWnd, BM_GETCHECK, 0, 0) == BST_CHECKED) {
    StartCompressedPack();
    return;
  }
  DialogFileList list(m_fileList);
  DialogReport report(*this);
  RunPackCommandOfThisProgram(list, report);
}

void CLodkinDlg::EnableInput(BOOL enable) {
  const HWND controls[] = {m_fileList.m_hWnd, m_compressBox.m_hWnd, m_packButton.m_hWnd, m_deleteButton.m_hWnd};
  for (HWND control : controls) EnableWindow(control, enable);
  if (enable) SetFocus(m_fileList.m_hWnd);
}

void CLodkinDlg::StartCompressedPack() {
  DialogFileList list(m_fileList);
  DialogReport report(*this);
  if (!m_pack.Make() || !m_pack.get()->Start(list, m_hWnd, WM_PACK_ENDED)) {
    m_pack.Reset();
    PackResult result;
    SetPackOutcome(&result, kPackCannotWrite);
    ShowPackOutcome(report, result);
    return;
  }
  EnableInput(FALSE);
  OnProgressTimer();
  SetTimer(m_hWnd, kProgressTimer, kProgressEvery, nullptr);
}

void CLodkinDlg::OnProgressTimer() {
  // The window's only timer runs while a pack does; any other is the dialog manager's.
  if (m_pack.get() == nullptr) {
    SetMsgHandled(FALSE);
    return;
  }
  char text[64];
  _snprintf(text, sizeof(text), kCompressingFormat, m_pack.get()->percent());
  text[sizeof(text) - 1] = 0;
  SetDlgItemText(IDC_STATUS, text);
}

void CLodkinDlg::OnPackEnded() {
  // Also posted by a pack that was stopped as the window closed: nothing is left to show.
  if (m_pack.get() == nullptr) {
    SetMsgHandled(FALSE);
    return;
  }
  KillTimer(m_hWnd, kProgressTimer);
  m_pack.get()->Wait();
  const PackResult result = m_pack.get()->result();
  m_pack.Reset();
  EnableInput(TRUE);
  DialogReport report(*this);
  ShowPackOutcome(report, result);
}

#include "ui/window_pack.h"

#include <string.h>

#include "core/wide_division.h"
#include "win32/module_path.h"
#include "win32/system_code_page.h"

namespace {

// A constant of its own rather than a changed copy of the tool's: the compiler keeps the
// initial value of such a copy in a .data section, 512 bytes of file for 64 of data.
constexpr CompressSettings kWindowCompressSettings = {kToolCompressSettings.threads, kToolCompressSettings.rule,
                                                      kWindowPackMemory, kToolCompressSettings.physicalMemory,
                                                      kWindowAheadLimit};

}  // namespace

int RowCopies::Copy(const PackFileList& rows) {
  const int count = rows.GetCount();
  if (!rows_.Allocate(count > 0 ? count : 1)) return 0;
  for (int row = 0; row < count; ++row) rows.GetRowText(row, rows_[row]);
  count_ = count;
  return 1;
}

void RowCopies::GetRowText(int row, char (&text)[kCorePathSize]) const { memcpy(text, rows_[row], sizeof(text)); }

WindowPack::WindowPack()
    : window_(nullptr), message_(0), compressor_(codec_, &threads_, kWindowCompressSettings), steps_(compressor_),
      thread_(nullptr) {
  memset(modulePath_, 0, sizeof(modulePath_));
  memset(&result_, 0, sizeof(result_));
}

int WindowPack::Start(const PackFileList& rows, HWND window, UINT message) {
  window_ = window;
  message_ = message;
  GetModulePath(modulePath_, sizeof(modulePath_));
  if (!rows_.Copy(rows)) return 0;
  thread_ = threads_.Start(*this);
  return thread_ != nullptr;
}

void WindowPack::Run() {
  // As the uncompressed Pack: folder rows pack their trees, names stay the system's bytes.
  const NameCodePage codePage = SystemNameCodePage();
  PackOptions options = DefaultPackOptions();
  options.walker = &walker_;
  options.codePage = &codePage;
  options.compressor = &steps_;
  PackFiles(rows_, modulePath_, options, &result_);
  PostMessageA(window_, message_, 0, 0);
}

void WindowPack::Wait() {
  if (thread_ != nullptr) threads_.Join(thread_);
  thread_ = nullptr;
}

unsigned WindowPack::percent() const {
  const uint64_t total = compressor_.bytesToRead();
  const uint64_t read = compressor_.bytesRead();
  if (total == 0) return 0;
  return static_cast<unsigned>(DivideWide((read < total ? read : total) * 100, total));
}

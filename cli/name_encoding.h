// Member names between this system and a package. A package's names are bytes in the
// ANSI code page of the Windows machines that run it. The Windows tool is one of them:
// it keeps its system's code page and converts nothing. The native tool converts between
// the locale's encoding and the code page given with --codepage; without one it takes
// plain ASCII names only, since any other byte would be read as another character.
#pragma once
#include <stddef.h>

#include "core/pack_members.h"

class NameEncoding : public MemberNameEncoder {
 public:
  NameEncoding();
  ~NameEncoding();
  NameEncoding(const NameEncoding&) = delete;
  NameEncoding& operator=(const NameEncoding&) = delete;

  // `codepage` as given on the command line, or null. 0 with the reason in error().
  int Open(const char* codepage);
  // 1 when names are converted (a code page was given).
  int converting() const { return converting_; }
  const char* error() const { return error_; }
  // The code page of the stored names: the one given, or on Windows the system's; none
  // (ASCII names only) for the native tool without --codepage.
  const NameCodePage& packageCodePage() const { return codePage_; }

  // One part of a host name in the package's bytes; 0 when the code page cannot hold it.
  int EncodePart(const char* hostPart, char* out, size_t capacity) override;
  // A stored name as this system spells it (on the host '/' between the parts); 0 when
  // it cannot be spelled here.
  int DecodeName(const char* stored, char* out, size_t capacity);

 private:
  int Convert(void* converter, const char* in, char* out, size_t capacity);

  int converting_;
  void* toPackage_;  // iconv descriptors (native tool only)
  void* toHost_;
  char error_[200];
  NameCodePage codePage_;
};

// "is not plain ASCII: ..." when no code page was given, so that the message names the
// option; otherwise the words of the code page's refusal.
const char* DescribeUnencodedName(const NameEncoding& encoding);
// The same for a stored name that cannot be spelled on this system.
const char* DescribeUndecodedName(const NameEncoding& encoding);

#include "core/pack_outcome.h"

#include <string.h>

#include "core/bounded_format.h"

PackOutcome SetPackOutcome(PackResult* result, PackOutcome outcome, const char* name) {
  result->outcome = outcome;
  memset(result->name, 0, sizeof(result->name));
  memcpy(result->name, name, BoundedLength(name, sizeof(result->name) - 1));
  return outcome;
}

PackOutcome SetWriteFailure(PackResult* result, PackageWriteStatus status, PackOutcome onReadFailure,
                            const char* name) {
  if (status == kPackageTooLarge) return SetPackOutcome(result, kPackTooLarge);
  if (status == kPackageReadFailed) return SetPackOutcome(result, onReadFailure, name);
  return SetPackOutcome(result, kPackCannotWrite);
}

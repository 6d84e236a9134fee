// What each pack outcome says: the status-line text, the box text and the box's caption.
#pragma once
#include "core/pack_outcome.h"

// The status-line text; null where the status line stays as it is.
const char* PackStatusText(PackOutcome outcome);
// The box text, with the name the outcome carries where it names one.
void FormatPackMessage(const PackResult& result, char (&text)[300]);
const char* PackCaption(PackOutcome outcome);

// Splitting a queued request's text into its fields.
#include "kvisinst/install/queueentry.h"

namespace {

bool IsDelimiter(char c) { return c == ',' || c == ';'; }

}  // namespace

void SplitQueueEntry(char* text, char* fields[kQueueEntryFields]) {
    for (int i = 0; i < kQueueEntryFields; ++i) fields[i] = nullptr;
    for (int i = 0; i < kQueueEntryFields; ++i) {
        while (IsDelimiter(*text)) ++text;
        if (!*text) return;
        fields[i] = text;
        while (*text && !IsDelimiter(*text)) ++text;
        if (!*text) return;
        *text++ = '\0';
    }
}

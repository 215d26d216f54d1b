// Internal consistency failures of the QVD container. In production each one
// ends the program through the runtime's fatal-error path with "Possible data
// corruption in file (N)". The integrity check and the fuzz targets instead
// open a CorruptionAsReturn scope: the failure then unwinds as a
// CorruptionSignal to the Store's public entry point, which returns a failure.
#pragma once

#include <cstdint>
#include <string>

namespace morvex::qvd {

[[noreturn]] void QvdCorruption(int32_t code);

// "Possible data corruption in file (N)" (the runtime's message 4101 instead
// of the fixed words when the message table has one).
std::string CorruptionText(int32_t code);

// With the driver's diagnostics on, the code is first shown on its own under
// the title "Quorvane File Driver Error".
void SetQvdDiagnostics(bool on);

// While one of these lives on the calling thread, QvdCorruption throws.
class CorruptionAsReturn {
public:
    CorruptionAsReturn();
    ~CorruptionAsReturn();
    CorruptionAsReturn(const CorruptionAsReturn&) = delete;
    CorruptionAsReturn& operator=(const CorruptionAsReturn&) = delete;
};

bool CorruptionReturnsEnabled();

// The last corruption that a Store turned into a failed result on this
// thread (0 when none), cleared by reading it: a caller above the driver,
// which sees only "not found" or "end of file", learns that the file is
// damaged instead of taking the failure for an answer.
int32_t TakeReturnedCorruption();
void NoteReturnedCorruption(int32_t code);

// Thrown only inside a CorruptionAsReturn scope; never leaves the Store's public functions.
struct CorruptionSignal {
    int32_t code;
};

} // namespace morvex::qvd

namespace morvex::qvd {

// The internal codes. The container adds its own (15xx) for entry decoding
// and tree shape, which the format leaves to each implementation.
enum CorruptionCode : int32_t {
    CorruptEntryTooLong = 824,
    CorruptLiteralOverrun = 522,
    CorruptRepeatOverrun = 530,
    CorruptNotWriter = 1163,
    CorruptRecordNumbersExhausted = 1173,
    CorruptSplitTooFewEntries = 1364,
    CorruptPageClassMismatch = 1477,
    CorruptExpandedLargerThanNode = 1659,
    CorruptPageTooLarge = 1678,
    CorruptUnitInNoZone = 1735,
    CorruptShortRead = 2172,
    CorruptReadNotBlocks = 2272,
    CorruptReadRefused = 2277,
    CorruptWriteNotBlocks = 2286,
    CorruptPositionLockMode = 2328,
    CorruptPositionUnlockMode = 2352,
    CorruptSeekFailed = 2341,
    CorruptEntryHeader = 1501,    // shared bytes or lengths that do not fit the entry
    CorruptEntriesOverrun = 1502, // entries run past the data part, or bytes left over
    CorruptKeyOrder = 1503,       // keys not ascending within or across pages
    CorruptTreeShape = 1504,      // bad level, child reference or page home offset
    CorruptHeaderFields = 1505,   // zones, root or chain of the header inconsistent (a writer refuses them)
};

} // namespace morvex::qvd

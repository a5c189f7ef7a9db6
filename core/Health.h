// File health: what a scan found wrong with a file beyond what its headers
// claim. Each finding has a kind (its severity order is the order of the
// enumeration, most serious first) and the few numbers its text needs.
// The fill functions add findings from reader results; verify mode adds the
// ones only a read of every byte can find.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class THealthKind : int {
    EmptyFile,          // 0 bytes
    NotRecognised,      // the reader rejected the file
    Truncated,          // the stream ends before its header's promise
    Damaged,            // bad stretches: lost frame sync, failed page checksums, bad frame headers
    AudioChanged,       // verify: the LAME music CRC does not match the audio frames
    LameTagDamaged,     // the LAME tag's own CRC-16 fails
    JunkBeforeAudio,    // non-zero bytes between the tags and the first frame
    TagDamaged,         // a tag block whose sizes run past its container or the file
};
// The last kind above (stored findings are checked against it).
inline constexpr THealthKind kLastHealthKind = THealthKind::TagDamaged;

// A declared length that is not known (an Ogg stream cut at a page boundary).
inline constexpr double kUnknownLength = -1;

struct THealthFinding {
    THealthKind Kind = THealthKind::Damaged;
    double PresentSeconds = 0;    // Truncated: the audio there
    double DeclaredSeconds = 0;   // Truncated: what the header declares
    int64_t Count = 0;            // Damaged: bad stretches; JunkBeforeAudio: bytes

    bool operator==(const THealthFinding&) const = default;
};

using THealth = std::vector<THealthFinding>;

// Adds a finding, keeping the list ordered most serious first; a second
// finding of a kind already present replaces the first (a verify pass knows
// more than the cheap checks).
void AddFinding(THealth& health, const THealthFinding& finding);
bool HasFinding(const THealth& health, THealthKind kind);

THealthFinding TruncatedFinding(double presentSeconds, double declaredSeconds);
THealthFinding DamagedFinding(int64_t badStretches);
THealthFinding JunkFinding(int64_t bytes);
THealthFinding Finding(THealthKind kind);

// "Truncated: 00:03 of 00:31", "Damaged: 2 bad stretches", ...
std::string FindingText(const THealthFinding& finding);
// The column text: "OK" or the most serious finding.
std::string HealthText(const THealth& health);
// Every finding's text, most serious first ("OK" alone when there are none).
std::vector<std::string> HealthTexts(const THealth& health);
// All findings joined by "; " (a report cell's title, a tooltip).
std::string HealthSummary(const THealth& health);

// Truncation from the bytes there: with the whole stream declaring
// declaredSeconds over declaredBytes of audio and only presentBytes present,
// the audio there lasts declaredSeconds x presentBytes / declaredBytes.
// Returns true (and the present length) when presentBytes falls short of
// declaredBytes by more than slackBytes.
bool TruncatedByBytes(int64_t declaredBytes, int64_t presentBytes, int64_t slackBytes, double declaredSeconds,
                      double& presentSeconds);

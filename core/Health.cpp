#include "core/Health.h"

#include "core/Columns.h"

#include <algorithm>

void AddFinding(THealth& health, const THealthFinding& finding) {
    const auto same = std::find_if(health.begin(), health.end(),
                                   [&](const THealthFinding& f) { return f.Kind == finding.Kind; });
    if (same != health.end()) {
        *same = finding;
        return;
    }
    const auto after = std::find_if(health.begin(), health.end(), [&](const THealthFinding& f) {
        return static_cast<int>(f.Kind) > static_cast<int>(finding.Kind);
    });
    health.insert(after, finding);
}

bool HasFinding(const THealth& health, THealthKind kind) {
    return std::any_of(health.begin(), health.end(), [&](const THealthFinding& f) { return f.Kind == kind; });
}

THealthFinding TruncatedFinding(double presentSeconds, double declaredSeconds) {
    return {THealthKind::Truncated, presentSeconds, declaredSeconds, 0};
}

THealthFinding DamagedFinding(int64_t badStretches) { return {THealthKind::Damaged, 0, 0, badStretches}; }

THealthFinding JunkFinding(int64_t bytes) { return {THealthKind::JunkBeforeAudio, 0, 0, bytes}; }

THealthFinding Finding(THealthKind kind) { return {kind, 0, 0, 0}; }

std::string FindingText(const THealthFinding& f) {
    switch (f.Kind) {
    case THealthKind::EmptyFile: return "Empty file";
    case THealthKind::NotRecognised: return "Not recognised";
    case THealthKind::Truncated:
        return "Truncated: " + DurationText(WholeSeconds(f.PresentSeconds)) + " of " +
               (f.DeclaredSeconds < 0 ? std::string("?") : DurationText(WholeSeconds(f.DeclaredSeconds)));
    case THealthKind::Damaged:
        return "Damaged: " + std::to_string(f.Count) + (f.Count == 1 ? " bad stretch" : " bad stretches");
    case THealthKind::AudioChanged: return "Audio changed after encoding";
    case THealthKind::LameTagDamaged: return "LAME tag damaged";
    case THealthKind::JunkBeforeAudio:
        return "Junk before audio: " + std::to_string(f.Count) + (f.Count == 1 ? " byte" : " bytes");
    case THealthKind::TagDamaged: return "Tag damaged";
    }
    return {};
}

std::string HealthText(const THealth& health) { return health.empty() ? "OK" : FindingText(health.front()); }

std::vector<std::string> HealthTexts(const THealth& health) {
    std::vector<std::string> texts;
    for (const THealthFinding& f : health) texts.push_back(FindingText(f));
    if (texts.empty()) texts.push_back("OK");
    return texts;
}

std::string HealthSummary(const THealth& health) {
    std::string text;
    for (const std::string& t : HealthTexts(health)) text += (text.empty() ? "" : "; ") + t;
    return text;
}

bool TruncatedByBytes(int64_t declaredBytes, int64_t presentBytes, int64_t slackBytes, double declaredSeconds,
                      double& presentSeconds) {
    if (declaredBytes <= 0 || presentBytes < 0 || presentBytes + slackBytes >= declaredBytes) return false;
    presentSeconds = declaredSeconds * static_cast<double>(presentBytes) / static_cast<double>(declaredBytes);
    return true;
}

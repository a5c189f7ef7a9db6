#include "check/ItemCheck.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace {
// Levels to a tenth of a decibel: finer steps say nothing about a spectrum.
double Tenths(double db) { return std::round(db * 10.0) / 10.0; }
}  // namespace

const char* VerdictName(TCheckVerdict verdict) {
    switch (verdict) {
    case TCheckVerdict::FullBand: return "full band";
    case TCheckVerdict::LossyOrigin: return "lossy origin";
    case TCheckVerdict::Upsampled: return "upsampled";
    case TCheckVerdict::PaddedBits: return "padded bits";
    case TCheckVerdict::Silent: return "silent";
    case TCheckVerdict::NarrowBand: return "narrow band";
    case TCheckVerdict::NotChecked: break;
    }
    return "not checked";
}

TOriginCheck OriginCheckOf(const TLosslessReport& report) {
    TOriginCheck check;
    check.Done = true;
    check.Verdict = VerdictName(report.Verdict);
    check.Text = report.Text;
    if (report.Verdict == TCheckVerdict::NotChecked) return check;
    if (report.Cutoff.Found) {
        check.CutoffHz = report.Cutoff.CutoffHz;
        check.PassDb = Tenths(report.Cutoff.PassDb);
        check.StopDb = Tenths(report.Cutoff.StopDb);
    }
    if (report.LossyCutoffHz > 0) check.CutoffHz = report.LossyCutoffHz;
    check.TopHz = report.Cutoff.TopHz;
    check.FloorDb = Tenths(report.Cutoff.FloorDb);
    if (report.Holes.Found) check.HolesFromHz = report.Holes.FromHz;
    check.UpsampledFromHz = report.UpsampledFromHz;
    check.UsedBits = report.BitDepth.UsedBits;
    check.FileBits = report.BitDepth.FileBits;
    check.ClippingRuns = static_cast<int64_t>(report.Clipping.Runs);
    const TGridFinding& grid = report.Grid;
    check.GridCodec = grid.Codec;
    if (grid.Peak.Offset >= 0) {
        check.GridOffset = grid.Peak.Offset;
        check.GridZeroShare = std::round(grid.Peak.Share * 10000.0) / 10000.0;
        check.GridOtherShare = std::round(grid.Peak.OtherShare * 10000.0) / 10000.0;
        check.GridScore = Tenths(grid.Peak.Score);
    }
    return check;
}

void RunCheckBatch(const TCheckBatch& batch) {
    const std::size_t count = batch.Paths.size();
    if (count == 0) return;
    unsigned threads = batch.Threads != 0 ? batch.Threads : std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, count));
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (;;) {
            const std::size_t index = next.fetch_add(1);
            if (index >= count) return;
            if (batch.Cancel != nullptr && batch.Cancel->load()) return;
            TCheckControl control;
            control.Cancel = batch.Cancel;
            if (batch.Progress) control.Progress = [&, index](double share) { batch.Progress(index, share); };
            TLosslessReport report = CheckLossless(batch.Paths[index], control);
            if (batch.Done) batch.Done(index, std::move(report));
        }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < threads; ++t) workers.emplace_back(work);
    work();
    for (std::thread& worker : workers) worker.join();
}

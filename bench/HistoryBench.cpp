// Undo + redo of a 1000 x 1000 brush-stroke rectangle ("pixel edit, changed rectangle") on a
// 5000 x 4000 layer and on a 2000 x 1000 layer. The exchange walks only the rectangle's rows
// and columns, so both sizes should cost about the same; the rectangle's own bytes
// (4 MB, read and written on both sides) set the scale.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "BenchDocument.h"
#include "core/PercentTables.h"
#include "history/HistoryManager.h"
#include "history/PixelEdit.h"
#include "layers/LayerManager.h"
#include "platform/Messages.h"
#include "store/FileDynamicStore.h"
#include "store/RowCursor.h"

namespace zelvo {
namespace {

constexpr int32_t kRect = 1000;

struct Document : bench::BenchDocument {
    Document(int32_t width, int32_t height) : BenchDocument(width, height) {
        LayerPtr layer = layers->LayerAt(0);
        layer->FillColor(Rgb(20, 40, 60), 100, 100, true);
        history->RecordState(nullptr, layers->Layers(), kStateOpenImage, 0, "New Image",
                             ExtraValues({width, height}));

        // A stroke over a rectangle in the middle: every pixel touched.
        PixelEdit edit(*layers, *history);
        const int32_t left = (width - kRect) / 2, top = (height - kRect) / 2;
        LayerPtr rect = edit.BeginStrokeRect(left, top, left + kRect, top + kRect);
        if (!rect) std::abort();
        RowCursor* rows = rect->Rows();
        const uint32_t paint = 0x64FF0000u;
        for (int32_t r = 0; r < kRect; ++r) {
            uint8_t* row = rows->Row(uint32_t(r));
            for (int32_t c = 0; c < kRect; ++c) std::memcpy(row + 4 * size_t(c), &paint, 4);
        }
        rect->ReleaseRows();
        edit.CommitRectEdit(1, "Brush Tool");
    }
};

void UndoRedoRect(benchmark::State& state) {
    RecordingMessages quiet;
    SetAppMessages(&quiet);
    Document doc(int32_t(state.range(0)), int32_t(state.range(1)));
    for (auto _ : state) {
        doc.history->GoToState(1, 0);
        doc.history->GoToState(2, 0);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2 * 2 * 4 * kRect * kRect);
    state.counters["layer_mpix"] = double(state.range(0)) * double(state.range(1)) / 1e6;
    SetAppMessages(nullptr);
}

BENCHMARK(UndoRedoRect)
    ->Args({5000, 4000})
    ->Args({2000, 1000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace zelvo

BENCHMARK_MAIN();

#include "runprogress.h"

#include <algorithm>

namespace {

// The stages' shares of the bar, in their order; they add up to 100. The
// download and the write take longest; the read-back takes about as long as
// the erase.
constexpr int kWeights[] = {
    3,  // Scan
    35, // Download
    2,  // Verify
    3,  // Connect
    12, // Erase
    30, // Write
    12, // ReadBack
    3,  // Leave
};
static_assert(sizeof(kWeights) / sizeof(*kWeights) == int(RunProgress::Stage::Done),
              "a weight for every stage before Done");

} // namespace

int RunProgress::barValue(Stage stage, int percent)
{
    int start = 0;
    for (int i = 0; i < int(stage) && i < int(Stage::Done); ++i)
        start += kWeights[i];
    if (stage == Stage::Done)
        return start;
    return start + kWeights[int(stage)] * std::clamp(percent, 0, 100) / 100;
}

RunProgress::Stage RunProgress::ofTool(ToolStage stage)
{
    switch (stage) {
    case ToolStage::Connect:
        return Stage::Connect;
    case ToolStage::Erase:
        return Stage::Erase;
    case ToolStage::Write:
        return Stage::Write;
    case ToolStage::ReadBack:
        return Stage::ReadBack;
    case ToolStage::Leave:
        break;
    }
    return Stage::Leave;
}

#pragma once

#include "analysis/analysis_pipeline.h"
#include "base/message_list.h"

namespace kyvern::testing {

// One run and its printout, as the shot cycle shows it: true when the frame was measured.
inline bool RunAndPrint(analysis::AnalysisPipeline& pipeline, frame::CapturedImage& frame,
                        base::MessageList& messages) {
    const analysis::AnalysisSummary summary = pipeline.RunAnalysis(frame);
    analysis::PrintAnalysis(summary, frame, pipeline.Options(), messages);
    return summary.ok;
}

}  // namespace kyvern::testing

// The rasterizer rastercodec: a CUPS filter that reads the job's CUPS raster
// pages, splits each into the printer's black and red planes, compresses
// them with JBIG into the page directory and announces them to the filter
// rastersend through the page hand-off. It writes nothing on its standard
// output: the filter reads the pages from the page directory.
#pragma once

#include "model_config.h"

namespace kolvex
{

// How long the rasterizer waits for the filter to attach to the hand-off
// before it announces anyway (polls of Announcer::kPollMs): one minute.
constexpr int kReceiverWaitPolls = 3000;

// Runs one job with the standard filter arguments (job id, user, title,
// copies, options [, file]) and the PPD named by $PPD. Returns the exit
// status: 0 when every page was written and announced, 1 on a bad command
// line or a job that could not be rasterized (the filter is still told the
// job is over, so it ends it instead of waiting for ever).
int runRastercodec(const ModelConfig &model, int argc, char **argv);

} // namespace kolvex

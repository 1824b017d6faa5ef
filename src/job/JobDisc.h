#pragma once
// The job's disc writer over the disc library: the transport the start loads, the writer it
// chooses (by the job's writer choice, else by the destination's letter) and the room on
// the disc, in bytes (blocks of 2,048).

#include "job/JobStart.h"

#include <memory>
#include <string>

namespace job {

std::unique_ptr<DiscWriter> MakeJobDisc(const std::string& programFolder);

} // namespace job

// Registration of the benchmark families.
#pragma once

#include <string>

namespace dravenlok::bench {

// GETs of 1 KB and 100 KB and a 1 MB multipart POST: the two baselines and
// the three probes, side by side. `uploadFile` is a 1 MB file to post.
void RegisterProbeBenchmarks(const std::string& host, const std::string& uploadFile);

// The dialog's start-up and memory (through `timedApp`, the program with a
// timing hook) and the long message box.
void RegisterUiBenchmarks(const std::string& timedApp);

}  // namespace dravenlok::bench

// What distinguishes the USB model's filter from the network model's: the
// same sources are built once per model with one of these configurations.
#pragma once

#include <string>

namespace kolvex {

struct ModelConfig {
    const char *modelName;        // "LR880" / "LR880N": the model's folder under the root
    const char *programName;      // "rastersend" / "rastersend-net"
    const char *suffix;           // control file suffix "_r88" / "_r88n"
    const char *commandPrefix;    // put in front of every command and query
    const char *pageDir;          // page directory, relative to the root
    const char *printLog;         // print log, relative to the model's folder
    const char *logSummarizer;    // log summarizer, relative to the model's folder
    const char *cancelProgram;    // run after a cancellation, or nullptr
    bool network;                 // job-id file names and key, file-growth wait, quiet debug
    unsigned sleepTimeMicros;     // pause after each drain and most reads
    const char *planeFiller;      // filler sent after an unanswered "Event=EndofPlane;"
};

extern const ModelConfig kUsbModel;
extern const ModelConfig kNetModel;

// Every file the filter touches, derived from the printers root, the model
// and (for the network model) the job id.
struct FilterPaths {
    std::string jobInfoFile;
    std::string printerStateFile;
    std::string statusCodeFile;
    std::string jobIdFile;        // empty for the USB model
    std::string printLog;
    std::string logSummarizer;
    std::string cancelProgram;    // empty for the USB model
    std::string pageDir;          // ends with '/'
    std::string fileBase;         // pageDir, plus "<job id>-" for the network model
    std::string markerFile;

    std::string blackPlane(int page) const;
    std::string redPlane(int page) const;

    static FilterPaths make(const ModelConfig &model, const std::string &root,
                            const std::string &jobId);
};

} // namespace kolvex

#include "model_config.h"

namespace kolvex {

const ModelConfig kUsbModel = {
    "LR880",
    "rastersend",
    "_r88",
    "",
    "tmp/printfiles/",
    "lr880_print_log",
    "lr880_print_log_summarize",
    nullptr,
    false,
    0,
    "      ",
};

const ModelConfig kNetModel = {
    "LR880N",
    "rastersend-net",
    "_r88n",
    "NET.",
    "tmp/printfiles_net/",
    "lr880n_print_log",
    "lr880n_print_log_summarize",
    "lr880n_cancel_job",
    true,
    30000,
    "       ",
};

std::string FilterPaths::blackPlane(int page) const
{
    return fileBase + "outredelsejbg" + std::to_string(page) + ".jbg";
}

std::string FilterPaths::redPlane(int page) const
{
    return fileBase + "outredjbg" + std::to_string(page) + ".jbg";
}

FilterPaths FilterPaths::make(const ModelConfig &model, const std::string &root,
                              const std::string &jobId)
{
    FilterPaths p;
    const std::string modelDir = root + "/" + model.modelName + "/";
    const std::string control = modelDir + "control/";
    p.jobInfoFile = control + "printerInfo" + model.suffix;
    p.printerStateFile = control + "PrinterState" + model.suffix;
    p.statusCodeFile = control + "duplexFlagInfo" + model.suffix;
    p.jobIdFile = model.network ? control + "jobid" + model.suffix : std::string();
    p.printLog = modelDir + model.printLog;
    p.logSummarizer = modelDir + model.logSummarizer;
    p.cancelProgram = model.cancelProgram ? modelDir + model.cancelProgram : std::string();
    p.pageDir = root + "/" + model.pageDir;
    p.fileBase = model.network ? p.pageDir + jobId + "-" : p.pageDir;
    p.markerFile = p.fileBase + "rastercodec";
    return p;
}

} // namespace kolvex

// rastercodec / rastercodec-net: the rasterizer of the USB and the network
// model, one source built once per model.
#include "model_config.h"
#include "rastercodec_job.h"

int main(int argc, char *argv[])
{
#if KOLVEX_RASTERCODEC_NET
    return kolvex::runRastercodec(kolvex::kNetModel, argc, argv);
#else
    return kolvex::runRastercodec(kolvex::kUsbModel, argc, argv);
#endif
}

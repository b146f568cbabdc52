#include "jbig_plane.h"

extern "C" {
#include <jbig.h>
}

namespace kolvex
{

namespace
{

struct FileSink {
    FILE *out;
    bool ok;
};

void toFile(unsigned char *data, size_t length, void *context)
{
    auto *sink = static_cast<FileSink *>(context);
    if (sink->ok && std::fwrite(data, 1, length, sink->out) != length)
        sink->ok = false;
}

void toVector(unsigned char *data, size_t length, void *context)
{
    static_cast<std::vector<uint8_t> *>(context)->insert(
        static_cast<std::vector<uint8_t> *>(context)->end(), data, data + length);
}

void encode(const Bilevel &plane, void (*sink)(unsigned char *, size_t, void *), void *context)
{
    // jbigkit reads the image through a non-const pointer but does not
    // change it when no resolution reduction is asked for.
    unsigned char *bitmap = const_cast<unsigned char *>(plane.data());
    struct jbg_enc_state state;
    jbg_enc_init(&state, static_cast<unsigned long>(plane.width()),
                 static_cast<unsigned long>(plane.height()), 1, &bitmap, sink, context);
    jbg_enc_layers(&state, 0);
    jbg_enc_options(&state, JBG_ILEAVE | JBG_SMID, JBG_TPBON, kJbigStripeLines, 0, 0);
    jbg_enc_out(&state);
    jbg_enc_free(&state);
}

} // namespace

bool writeJbigPlane(const Bilevel &plane, FILE *out)
{
    FileSink sink{out, true};
    encode(plane, toFile, &sink);
    return sink.ok && std::fflush(out) == 0 && !std::ferror(out);
}

std::vector<uint8_t> encodeJbigPlane(const Bilevel &plane)
{
    std::vector<uint8_t> data;
    encode(plane, toVector, &data);
    return data;
}

} // namespace kolvex

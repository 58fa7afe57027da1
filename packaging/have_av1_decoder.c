/* Exit code 0 when the libheif found at configure time decodes AV1 (AVIF). */
#include <libheif/heif.h>

int main(void) {
    heif_init(NULL);
    const int have = heif_have_decoder_for_format(heif_compression_AV1);
    heif_deinit();
    return have ? 0 : 1;
}

/* JPEG decoding through libjpeg, from memory. libjpeg's fatal errors end in a
 * long jump back into KorrinDecodeJpeg's own frame, so only C frames are jumped
 * over. Grey images stay 8-bit with a grey ramp; colour images become 24-bit
 * BGR; CMYK and YCCK images are converted to BGR (Adobe's inverted CMYK
 * included). Running out of data is an error, not a grey lower half. */
#include "image/ImageDecoders.h"

#include <setjmp.h>
#include <stdio.h> /* jpeglib.h needs size_t and FILE */
#include <stdlib.h>
#include <string.h>

#include <jpeglib.h>
#include <jerror.h>

/* Caps what libjpeg may allocate for one image (whole-image coefficient
 * buffers of progressive images), and the scans it will read: both bound the
 * work a small hostile file can cause. */
#define KORRIN_JPEG_MAX_MEMORY (256L * 1024 * 1024)
#define KORRIN_JPEG_MAX_SCANS 1000

typedef struct JpegFailure {
    struct jpeg_error_mgr manager; /* first: libjpeg sees only this part */
    jmp_buf jump;
} JpegFailure;

static void Fail(j_common_ptr cinfo) {
    JpegFailure* failure = (JpegFailure*)cinfo->err;
    longjmp(failure->jump, 1);
}

/* Warnings are tolerated (extraneous bytes, a bad restart marker), except
 * running out of entropy-coded data: the rest of the image would be made up. */
static void FailOnMissingData(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_HIT_MARKER) Fail(cinfo);
}

static void IgnoreOutput(j_common_ptr cinfo) { (void)cinfo; }

static void InitSource(j_decompress_ptr cinfo) { (void)cinfo; }

/* The whole image is in the buffer from the start: asking for more means the data ended early. */
static boolean FillInputBuffer(j_decompress_ptr cinfo) {
    ERREXIT(cinfo, JERR_INPUT_EOF);
    return FALSE;
}

static void SkipInputData(j_decompress_ptr cinfo, long count) {
    struct jpeg_source_mgr* source = cinfo->src;
    if (count <= 0) return;
    if ((unsigned long)count > source->bytes_in_buffer) ERREXIT(cinfo, JERR_INPUT_EOF);
    source->next_input_byte += count;
    source->bytes_in_buffer -= (size_t)count;
}

static void TermSource(j_decompress_ptr cinfo) { (void)cinfo; }

static void LimitScans(j_common_ptr cinfo) {
    j_decompress_ptr decompress = (j_decompress_ptr)cinfo;
    if (decompress->input_scan_number > KORRIN_JPEG_MAX_SCANS) ERREXIT(cinfo, JERR_NOTIMPL);
}

static void CmykRowToBgr(const JSAMPLE* cmyk, uint8_t* bgr, JDIMENSION width, bool inverted) {
    JDIMENSION x;
    for (x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        /* Now c, m, y, k are the amounts of light left: 255 is none absorbed. */
        bgr[0] = (uint8_t)((y * k + 127) / 255);
        bgr[1] = (uint8_t)((m * k + 127) / 255);
        bgr[2] = (uint8_t)((c * k + 127) / 255);
    }
}

bool KorrinDecodeJpeg(const void* data, size_t size, KorrinDecodedImage* out) {
    struct jpeg_decompress_struct cinfo;
    struct jpeg_source_mgr source;
    struct jpeg_progress_mgr progress;
    JpegFailure failure;
    JSAMPARRAY cmykRow = NULL;
    bool grey, cmyk, bgr;

    memset(out, 0, sizeof *out);
    if (!data || size < 3) return false;

    memset(&cinfo, 0, sizeof cinfo);
    memset(&progress, 0, sizeof progress);
    cinfo.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = Fail;
    failure.manager.emit_message = FailOnMissingData;
    failure.manager.output_message = IgnoreOutput;
    if (setjmp(failure.jump)) {
        jpeg_destroy_decompress(&cinfo);
        KorrinFreeImage(out);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = KORRIN_JPEG_MAX_MEMORY;
    progress.progress_monitor = LimitScans;
    cinfo.progress = &progress;
    source.next_input_byte = (const JOCTET*)data;
    source.bytes_in_buffer = size;
    source.init_source = InitSource;
    source.fill_input_buffer = FillInputBuffer;
    source.skip_input_data = SkipInputData;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = TermSource;
    cinfo.src = &source;

    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) ERREXIT(&cinfo, JERR_NO_IMAGE);
    if (cinfo.image_width < 1 || cinfo.image_height < 1 || cinfo.image_width > KORRIN_IMAGE_MAX_SIDE ||
        cinfo.image_height > KORRIN_IMAGE_MAX_SIDE ||
        (unsigned long long)cinfo.image_width * cinfo.image_height > KORRIN_IMAGE_MAX_PIXELS)
        ERREXIT(&cinfo, JERR_IMAGE_TOO_BIG);

    grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    bgr = false;
    if (grey) {
        cinfo.out_color_space = JCS_GRAYSCALE;
    } else if (cmyk) {
        cinfo.out_color_space = JCS_CMYK;
    } else {
#ifdef JCS_EXTENSIONS
        cinfo.out_color_space = JCS_EXT_BGR;
        bgr = true;
#else
        cinfo.out_color_space = JCS_RGB;
#endif
    }
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_width != cinfo.image_width || cinfo.output_height != cinfo.image_height ||
        cinfo.output_components != (grey ? 1 : cmyk ? 4 : 3))
        ERREXIT(&cinfo, JERR_BAD_LENGTH);

    if (!KorrinAllocateImage(out, (int)cinfo.output_width, (int)cinfo.output_height, grey ? 8 : 24))
        ERREXIT(&cinfo, JERR_OUT_OF_MEMORY);
    if (grey) KorrinSetGreyPalette(out);
    if (cmyk) cmykRow = (*cinfo.mem->alloc_sarray)((j_common_ptr)&cinfo, JPOOL_IMAGE, cinfo.output_width * 4, 1);

    while (cinfo.output_scanline < cinfo.output_height) {
        uint8_t* row = out->pixels + (size_t)cinfo.output_scanline * (size_t)out->pitch;
        JSAMPROW target = cmyk ? cmykRow[0] : (JSAMPROW)row;
        if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) ERREXIT(&cinfo, JERR_INPUT_EOF);
        if (cmyk) {
            CmykRowToBgr(cmykRow[0], row, cinfo.output_width, cinfo.saw_Adobe_marker);
        } else if (!grey && !bgr) {
            JDIMENSION x;
            for (x = 0; x < cinfo.output_width; ++x) {
                uint8_t red = row[3 * x];
                row[3 * x] = row[3 * x + 2];
                row[3 * x + 2] = red;
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

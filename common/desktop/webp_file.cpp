#include "desktop/webp_file.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "desktop/screen_rows.h"
#include "frame/file_names.h"

namespace {

struct DemuxDeleter {
    void operator()(WebPDemuxer* demuxer) const { WebPDemuxDelete(demuxer); }
};

struct ChunkIteratorReleaser {
    void operator()(WebPChunkIterator* iterator) const { WebPDemuxReleaseChunkIterator(iterator); }
};

ErrorCode refuse(ScreenSource& source, std::string problem) {
    source.problem = std::move(problem);
    return ERR_INVALID_WEBP;
}

const char* status_text(VP8StatusCode status) {
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY: return "more memory than there is";
    case VP8_STATUS_INVALID_PARAM: return "parameters the decoder refuses";
    case VP8_STATUS_BITSTREAM_ERROR: return "damaged picture data";
    case VP8_STATUS_UNSUPPORTED_FEATURE: return "a feature the decoder does not know";
    case VP8_STATUS_SUSPENDED:
    case VP8_STATUS_NOT_ENOUGH_DATA: return "a file cut short";
    default: return "not a readable webp file";
    }
}

// The ICCP chunk of an extended file, pointing into its bytes; none
// otherwise. The demuxer keeps the bytes it points at.
bool find_icc_profile(const WebPData& data, std::unique_ptr<WebPDemuxer, DemuxDeleter>& demuxer,
                      WebPChunkIterator& chunk, ColourDescription& colours) {
    demuxer.reset(WebPDemux(&data));
    if (!demuxer) {
        return false;
    }
    if ((WebPDemuxGetI(demuxer.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG) == 0) {
        return true;
    }
    if (WebPDemuxGetChunk(demuxer.get(), "ICCP", 1, &chunk) == 0) {
        return false;
    }
    colours.icc_profile = chunk.chunk.bytes;
    colours.icc_size = chunk.chunk.size;
    return true;
}

ErrorCode decode_webp(const std::vector<std::uint8_t>& file, ScreenFit fit, ScreenImage& image, ScreenSource& source) {
    WebPBitstreamFeatures features{};
    const VP8StatusCode status = WebPGetFeatures(file.data(), file.size(), &features);
    if (status != VP8_STATUS_OK) {
        return refuse(source, status_text(status));
    }
    source.width = features.width;
    source.height = features.height;
    if (features.has_animation) {
        return refuse(source, "an animation: only still pictures are read");
    }
    const int channels = features.has_alpha ? 4 : 3;
    const std::size_t row_bytes = static_cast<std::size_t>(features.width) * static_cast<std::size_t>(channels);
    const std::size_t budget = MAX_DECODE_BYTES - file.size();
    if (features.width <= 0 || features.height <= 0 || row_bytes > budget / static_cast<std::size_t>(features.height)) {
        return refuse(source, "a picture too large to be decoded within " + std::to_string(MAX_DECODE_BYTES >> 20) +
                                  " MB");
    }
    const std::size_t decoded_bytes = row_bytes * static_cast<std::size_t>(features.height);
    const auto decoded = std::make_unique_for_overwrite<std::uint8_t[]>(decoded_bytes);
    WebPDecoderConfig config;
    if (WebPInitDecoderConfig(&config) == 0) {
        return ERR_ALLOCATION;
    }
    config.output.colorspace = features.has_alpha ? MODE_RGBA : MODE_RGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = decoded.get();
    config.output.u.RGBA.stride = static_cast<int>(row_bytes);
    config.output.u.RGBA.size = decoded_bytes;
    const VP8StatusCode decoded_status = WebPDecode(file.data(), file.size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (decoded_status != VP8_STATUS_OK) {
        return refuse(source, status_text(decoded_status));
    }
    // The profile is looked for once the picture is known to be whole.
    ColourDescription colours{};
    const WebPData data{file.data(), file.size()};
    std::unique_ptr<WebPDemuxer, DemuxDeleter> demuxer;
    WebPChunkIterator chunk{};
    if (!find_icc_profile(data, demuxer, chunk, colours)) {
        return refuse(source, "a container the demuxer cannot take apart");
    }
    const std::unique_ptr<WebPChunkIterator, ChunkIteratorReleaser> chunk_owner(colours.icc_profile != nullptr ? &chunk
                                                                                                               : nullptr);
    const SampleFormat format{features.has_alpha ? SampleLayout::rgba : SampleLayout::rgb, 1, false};
    auto rows = std::make_unique<ScreenRows>();
    const ErrorCode code = start_screen_rows(features.width, features.height, format, colours, fit, ERR_INVALID_WEBP,
                                             image, *rows, source);
    if (code < 0) {
        return code;
    }
    for (int y = 0; y < features.height; ++y) {
        push_samples(*rows, decoded.get() + static_cast<std::size_t>(y) * row_bytes);
    }
    finish_screen_rows(*rows);
    return ERR_SUCCESS;
}

}  // namespace

bool starts_with_webp_signature(const std::uint8_t* bytes, std::size_t count) {
    return count >= 12 && std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "WEBP", 4) == 0;
}

ErrorCode webp_read_screen(const std::string& path, ScreenFit fit, ScreenImage& image, ScreenSource& source) {
    source = ScreenSource{};
    source.format = "webp";
    std::vector<std::uint8_t> file;
    const ErrorCode code = read_whole_file(path, MAX_DECODE_BYTES / 2, file, ERR_INVALID_WEBP);
    if (code == ERR_INVALID_WEBP) {
        return refuse(source, "a file too large to be read within " + std::to_string(MAX_DECODE_BYTES >> 20) + " MB");
    }
    if (code < 0) {
        return code;
    }
    return decode_webp(file, fit, image, source);
}

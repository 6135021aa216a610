#include "desktop/gif_records.h"

bool find_first_image(GifFileType* gif, bool& found, int& transparent) {
    found = false;
    transparent = NO_TRANSPARENCY;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            return false;
        }
        if (type == IMAGE_DESC_RECORD_TYPE) {
            found = DGifGetImageDesc(gif) != GIF_ERROR;
            return found;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            return true;
        }
        if (type != EXTENSION_RECORD_TYPE) {
            return false;
        }
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
            return false;
        }
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
            GraphicsControlBlock control{};
            transparent = DGifExtensionToGCB(block[0], block + 1, &control) == GIF_ERROR ? NO_TRANSPARENCY
                                                                                        : control.TransparentColor;
        }
        while (block != nullptr) {
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
                return false;
            }
        }
    }
}

#include "platform/X11SharedPictures.h"

#include "platform/X11Reply.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <bit>
#include <numeric>

namespace {

constexpr std::size_t kFirstSize = 256 * 1024;

// The pixels a QImage::Format_RGB32 holds are what a 24- or 32-deep true-colour window
// of 32 bits a pixel takes, in the server's byte order when it matches this machine's.
bool PixelsFit(xcb_connection_t *c) {
    const xcb_setup_t *setup = xcb_get_setup(c);
    const bool little = std::endian::native == std::endian::little;
    if (setup->image_byte_order != (little ? XCB_IMAGE_ORDER_LSB_FIRST : XCB_IMAGE_ORDER_MSB_FIRST))
        return false;
    bool fits = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem > 0; xcb_format_next(&f))
        if (f.data->depth == 24) fits = f.data->bits_per_pixel == 32;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(setup).data;
    if (!fits || screen == nullptr || screen->root_depth != 24) return false;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem > 0; xcb_depth_next(&d))
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v))
            if (v.data->visual_id == screen->root_visual)
                return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v.data->red_mask == 0xff0000 &&
                       v.data->green_mask == 0xff00 && v.data->blue_mask == 0xff;
    return false;
}

} // namespace

void TX11SharedPictures::TSegment::Release() {
    if (Bits != nullptr) shmdt(Bits);
    *this = TSegment{};
}

std::unique_ptr<TX11SharedPictures> TX11SharedPictures::Open(xcb_connection_t *connection) {
    if (connection == nullptr || xcb_connection_has_error(connection)) return nullptr;
    const xcb_query_extension_reply_t *shm = xcb_get_extension_data(connection, &xcb_shm_id);
    if (shm == nullptr || !shm->present || !PixelsFit(connection)) return nullptr;
    std::unique_ptr<TX11SharedPictures> pictures(new TX11SharedPictures(connection));
    // A server elsewhere cannot reach this machine's memory: the first attach tells.
    if (!pictures->Attach(pictures->FSegments[0], kFirstSize)) return nullptr;
    return pictures;
}

TX11SharedPictures::~TX11SharedPictures() {
    for (TSegment &segment : FSegments)
        segment.Release();
}

bool TX11SharedPictures::Attach(TSegment &segment, std::size_t size) {
    TSegment fresh;
    fresh.Id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (fresh.Id < 0) return false;
    void *bits = shmat(fresh.Id, nullptr, 0);
    if (bits == reinterpret_cast<void *>(-1)) {
        shmctl(fresh.Id, IPC_RMID, nullptr);
        return false;
    }
    fresh.Bits = static_cast<std::uint8_t *>(bits);
    fresh.Size = size;
    fresh.Seg = xcb_generate_id(FConnection);
    const auto error =
        X11Reply(xcb_request_check(FConnection, xcb_shm_attach_checked(FConnection, fresh.Seg, fresh.Id, 1)));
    // Once both sides hold it, the segment goes with the last of them to let go.
    shmctl(fresh.Id, IPC_RMID, nullptr);
    if (error) {
        fresh.Release();
        return false;
    }
    if (segment.Bits != nullptr) {
        WaitRead(segment);
        xcb_shm_detach(FConnection, segment.Seg);
        segment.Release();
    }
    segment = fresh;
    return true;
}

void TX11SharedPictures::WaitRead(TSegment &segment) {
    if (!segment.Used) return;
    if (!segment.Fenced) SendFence();
    segment.Used = segment.Fenced = false;
    // Segments come round in the order their round trips went out: an answer already read
    // covers every earlier one, and each answer is read once.
    if (FAnswered && static_cast<int>(segment.Fence - *FAnswered) <= 0) return;
    X11Reply(xcb_get_input_focus_reply(FConnection, xcb_get_input_focus_cookie_t{segment.Fence}, nullptr));
    FAnswered = segment.Fence;
}

void TX11SharedPictures::SendFence() {
    const unsigned int fence = xcb_get_input_focus(FConnection).sequence;
    for (TSegment &segment : FSegments)
        if (segment.Used && !segment.Fenced) {
            segment.Fence = fence;
            segment.Fenced = true;
        }
    FUnfenced = 0;
}

const TX11SharedPictures::TTarget *TX11SharedPictures::TargetFor(std::uint32_t window) {
    auto it = FTargets.find(window);
    if (it == FTargets.end()) {
        const auto geometry =
            X11Reply(xcb_get_geometry_reply(FConnection, xcb_get_geometry(FConnection, window), nullptr));
        if (!geometry) return nullptr;
        TTarget target;
        target.Depth = geometry->depth;
        if (target.Depth == 24 || target.Depth == 32) {
            target.Gc = xcb_generate_id(FConnection);
            const std::uint32_t noExposures = 0;
            xcb_create_gc(FConnection, target.Gc, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
        }
        it = FTargets.emplace(window, target).first;
    }
    return it->second.Gc != 0 ? &it->second : nullptr;
}

bool TX11SharedPictures::Put(std::span<const TPicture> pictures, const TFill &fill) {
    if (xcb_connection_has_error(FConnection)) return false;
    const std::size_t bytes = std::accumulate(
        pictures.begin(), pictures.end(), std::size_t{0}, [](std::size_t sum, const TPicture &p) {
            return sum + std::size_t(std::max(p.Width, 0)) * std::max(p.Height, 0) * 4;
        });
    if (bytes == 0) return true;
    for (const TPicture &p : pictures)
        if (TargetFor(p.Window) == nullptr) return false;
    TSegment &segment = FSegments[FNext];
    WaitRead(segment);
    if (segment.Size < bytes && !Attach(segment, std::max(bytes, 2 * segment.Size))) return false;
    FNext = (FNext + 1) % kSegments;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const TPicture &p = pictures[i];
        if (p.Width <= 0 || p.Height <= 0) continue;
        fill(i, segment.Bits + offset, p.Width * 4);
        const TTarget &target = FTargets.at(p.Window);
        xcb_shm_put_image(FConnection, p.Window, target.Gc, p.Width, p.Height, 0, 0, p.Width, p.Height, p.X,
                          p.Y, target.Depth, XCB_IMAGE_FORMAT_Z_PIXMAP, 0, segment.Seg, offset);
        offset += std::size_t(p.Width) * p.Height * 4;
    }
    segment.Used = true;
    if (++FUnfenced == kBatchesAFence) SendFence();
    xcb_flush(FConnection);
    return true;
}

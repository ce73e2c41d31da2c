#include "widgets/MMDigitCache.h"

#include <QString>
#include <algorithm>

// The strips are compiled into the library; a static library needs its
// resources registered by hand, from the global namespace.
static void InitLEDResources() {
    Q_INIT_RESOURCE(led);
}

namespace {

TDigitCache::TLoader &Loader() {
    static TDigitCache::TLoader loader;
    return loader;
}

QRgb KeyRgb(TColor color) {
    return ToQColor(color).rgb();
}

} // namespace

QImage MMRecolorStrip(const QImage &strip, TColor color, TColor inactiveColor, TColor ledColor,
                      bool drawInactive) {
    const QImage source = strip.convertToFormat(QImage::Format_RGB32);
    QImage result = source.copy();
    const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0), silver = KeyRgb(clSilver);
    const QRgb lit = KeyRgb(ledColor), background = KeyRgb(color);
    const QRgb unlit = drawInactive ? KeyRgb(inactiveColor) : background;
    for (int y = 0; y < source.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        auto *out = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            const QRgb p = in[x] | 0xFF000000u;
            if (p == white)
                out[x] = lit;
            else if (p == black)
                out[x] = background;
            else if (p == silver)
                out[x] = unlit;
        }
    }
    return result;
}

std::unique_ptr<TDigitCache> &TDigitCache::Instance() {
    static std::unique_ptr<TDigitCache> cache;
    return cache;
}

const QImage *TDigitCache::Acquire(bool sign, TMMLEDSize size, TColor color, TColor inactiveColor,
                                   TColor ledColor, bool drawInactive) {
    if (!MMLEDSizeValid(size)) return nullptr;
    const TKey key{sign, size, drawInactive, color, ledColor, inactiveColor};
    std::unique_ptr<TDigitCache> &cache = Instance();
    if (cache)
        for (const auto &entry : cache->FEntries)
            if (entry->Key == key) {
                ++entry->Count;
                return &entry->Strip;
            }
    const std::string name = MMLEDStripName(size, sign);
    const QImage strip = Loader() ? Loader()(name) : LoadResource(name);
    if (strip.isNull()) return nullptr;
    if (!cache) cache = std::make_unique<TDigitCache>();
    cache->FEntries.push_back(std::make_unique<TEntry>(
        TEntry{key, MMRecolorStrip(strip, color, inactiveColor, ledColor, drawInactive), 1}));
    return &cache->FEntries.back()->Strip;
}

void TDigitCache::Release(const QImage *&strip) {
    std::unique_ptr<TDigitCache> &cache = Instance();
    if (strip == nullptr || !cache) return;
    auto &entries = cache->FEntries;
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [strip](const auto &entry) { return &entry->Strip == strip; });
    if (it == entries.end()) return;
    strip = nullptr;
    if (--(*it)->Count > 0) return;
    entries.erase(it);
    if (entries.empty()) cache.reset();
}

bool TDigitCache::Exists() {
    return Instance() != nullptr;
}

int TDigitCache::Count() {
    const std::unique_ptr<TDigitCache> &cache = Instance();
    return cache ? static_cast<int>(cache->FEntries.size()) : 0;
}

int TDigitCache::RefCount(const QImage *strip) {
    const std::unique_ptr<TDigitCache> &cache = Instance();
    if (!cache) return 0;
    for (const auto &entry : cache->FEntries)
        if (&entry->Strip == strip) return entry->Count;
    return 0;
}

TDigitCache::TLoader TDigitCache::SetLoader(TLoader loader) {
    TLoader previous = std::move(Loader());
    Loader() = std::move(loader);
    return previous;
}

QImage TDigitCache::LoadResource(const std::string &name) {
    static const bool registered = (InitLEDResources(), true);
    (void)registered;
    return QImage(QStringLiteral(":/led/") + QString::fromStdString(name));
}

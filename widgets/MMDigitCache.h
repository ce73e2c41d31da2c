#pragma once

#include "widgets/MMColors.h"
#include "widgets/MMLEDLaws.h"

#include <QImage>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Paints a strip in a look: white pixels become `ledColor`, black ones
// `color`, silver ones `inactiveColor` (or `color` without drawInactive).
// Which pixel is which is decided on the unaltered strip, so a look whose
// colours coincide with the key colours comes out right. Other pixels stay.
QImage MMRecolorStrip(const QImage &strip, TColor color, TColor inactiveColor, TColor ledColor,
                      bool drawInactive);

// The recoloured digit and sign strips of the process, shared by every digit
// of the same look and counted. The cache exists while it holds a strip:
// created by the first Acquire, freed when the last strip is released.
//
// Thread contract: main thread only, every function; no lock.
class TDigitCache {
  public:
    // Where strips come from: the strip named `name` ("LCD_13X21"), or a null
    // image when there is none. Tests replace it.
    using TLoader = std::function<QImage(const std::string &name)>;

    // The strip of this look with its count raised, loaded and recoloured on
    // first use; null when the resource is missing or the size invalid.
    static const QImage *Acquire(bool sign, TMMLEDSize size, TColor color, TColor inactiveColor,
                                 TColor ledColor, bool drawInactive);
    // Lowers the count of the entry holding `strip` and clears the caller's
    // reference; at 0 the strip is freed. Null and unknown strips are ignored.
    static void Release(const QImage *&strip);

    static bool Exists();
    // Distinct looks held.
    static int Count();
    // The count of the entry holding `strip`, 0 when none does.
    static int RefCount(const QImage *strip);

    // The compiled-in strips (":/led/<name>"). Returns the previous loader; an
    // empty loader restores the compiled-in one.
    static TLoader SetLoader(TLoader loader);
    static QImage LoadResource(const std::string &name);

  private:
    struct TKey {
        bool Sign;
        TMMLEDSize Size;
        bool DrawInactive;
        TColor Color;
        TColor LEDColor;
        TColor InactiveColor;
        bool operator==(const TKey &) const = default;
    };
    struct TEntry {
        TKey Key;
        QImage Strip;
        int Count;
    };

    static std::unique_ptr<TDigitCache> &Instance();

    std::vector<std::unique_ptr<TEntry>> FEntries;
};

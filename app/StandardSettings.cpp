#include "app/StandardSettings.h"

namespace {

const QString kSection = QStringLiteral("Standards");

// The index of `name` among `names` (case and surrounding spaces aside), else 0: the classic one.
int IndexOf(const QStringList &names, const QString &name) {
    for (qsizetype i = 0; i < names.size(); ++i)
        if (names[i].compare(name.trimmed(), Qt::CaseInsensitive) == 0) return static_cast<int>(i);
    return 0;
}

template <typename E> E ReadName(const TIniFile &ini, const char *key, const QStringList &names) {
    return static_cast<E>(IndexOf(names, ini.ReadString(kSection, key, QString())));
}

} // namespace

const QStringList &NeedleStandardNames() {
    static const QStringList names{"Classic", "IEC VU"};
    return names;
}

const QStringList &PeakStandardNames() {
    static const QStringList names{"Classic", "DIN",  "Nordic", "BBC",  "EBU",
                                   "Digital", "K-20", "K-14",   "K-12", "True peak"};
    return names;
}

const QStringList &PeakHoldNames() {
    static const QStringList names{"Classic", "Time", "Infinite"};
    return names;
}

const QStringList &BarScaleNames() {
    static const QStringList names{"dBFS", "Standard"};
    return names;
}

TMMStandardScale BarScale(const TMeteringStandards &s) {
    // A K-System meter is read on its own scale whatever the choice.
    if (s.PeakBars == psK20) return {sfK20, AlignKept(s.AlignDbfs)};
    if (s.PeakBars == psK14) return {sfK14, AlignKept(s.AlignDbfs)};
    if (s.PeakBars == psK12) return {sfK12, AlignKept(s.AlignDbfs)};
    TMMScaleFamily family = sfDbfs;
    if (s.Scale == TMeteringStandards::bsStandard) {
        switch (s.PeakBars) {
        case psDIN:
            family = sfDIN;
            break;
        case psNordic:
            family = sfNordic;
            break;
        case psBBC:
            family = sfBBC;
            break;
        case psEBU:
            family = sfEBU;
            break;
        default:
            break;
        }
    }
    return {family, AlignKept(s.AlignDbfs)};
}

void ReadStandards(const TIniFile &ini, TMeteringStandards &s) {
    const TMeteringStandards defaults;
    s.Needle = ReadName<TMMNeedleStandard>(ini, "Needle", NeedleStandardNames());
    s.PeakBars = ReadName<TMMPeakStandard>(ini, "PeakBars", PeakStandardNames());
    s.PeakHold = PeakHoldRule({ReadName<TMMPeakHoldMode>(ini, "PeakHold", PeakHoldNames()),
                               ini.ReadInteger(kSection, "PeakHoldMs", defaults.PeakHold.Milliseconds)});
    s.Scale = ReadName<TMeteringStandards::TBarScale>(ini, "Scale", BarScaleNames());
    s.AlignDbfs = AlignKept(ini.ReadInteger(kSection, "AlignDbfs", defaults.AlignDbfs));
}

void WriteStandards(TIniFile &ini, const TMeteringStandards &s) {
    const auto name = [](const QStringList &names, int i) { return names.value(i, names.first()); };
    ini.WriteString(kSection, "Needle", name(NeedleStandardNames(), s.Needle));
    ini.WriteString(kSection, "PeakBars", name(PeakStandardNames(), s.PeakBars));
    ini.WriteString(kSection, "PeakHold", name(PeakHoldNames(), s.PeakHold.Mode));
    ini.WriteInteger(kSection, "PeakHoldMs", s.PeakHold.Milliseconds);
    ini.WriteString(kSection, "Scale", name(BarScaleNames(), s.Scale));
    ini.WriteInteger(kSection, "AlignDbfs", s.AlignDbfs);
}

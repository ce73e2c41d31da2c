#include "fuzz/FuzzEntries.h"

#include "app/CommandLine.h"
#include "app/MainFrm.h"
#include "app/Settings.h"
#include "clock/JpegImage.h"
#include "clock/TransparentPicture.h"
#include "platform/IniFile.h"
#include "platform/SimWaveIn.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

[[noreturn]] void Failed(const char *property, int line, const std::string &detail) {
    std::fprintf(stderr, "fuzz check failed (FuzzEntries.cpp:%d): %s\n  %s\n", line, property,
                 detail.c_str());
    std::fflush(stderr);
    std::abort();
}

// An abort, not an exception: the fuzzer counts it as a crash and keeps the input.
#define FUZZ_CHECK(property, detail)                                                                         \
    do {                                                                                                     \
        if (!(property)) Failed(#property, __LINE__, detail);                                                \
    } while (false)

std::string Text(const QString &s) {
    return s.toStdString();
}

std::string Text(const TSettings &s) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "InputDevNo=%d VURefLevel=%d BackgroundNo=%d VUPos=%d PeakLevel=%d/%d/%d ShowRedLine=%d "
                  "RedLinePos=%d ShowGraph=%d LineSpa=%d Standards=%d/%d/%d/%d",
                  s.InputDevNo, s.VURefLevel, s.BackgroundNo, s.VUPos, s.PeakLevel1, s.PeakLevel2,
                  s.PeakLevel3, s.ShowRedLine, s.RedLinePos, s.ShowGraph, s.LineSpa, s.Standards.Needle,
                  s.Standards.PeakBars, s.Standards.PeakHold.Mode, s.Standards.PeakHold.Milliseconds);
    return text;
}

QByteArray Bytes(const std::uint8_t *data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

// A folder of this process's own for the files the readers take, removed when it ends. In
// memory where the machine offers it: every save syncs the file to its disk.
QString ScratchFile(const QString &name) {
    static const QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                       ? QStringLiteral("/dev/shm/velmora-fuzz-XXXXXX")
                                       : QDir::tempPath() + QStringLiteral("/velmora-fuzz-XXXXXX"));
    FUZZ_CHECK(dir.isValid(), "no scratch folder");
    return dir.filePath(name);
}

QString Put(const QString &path, const QByteArray &contents) {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate), Text(path));
    FUZZ_CHECK(file.write(contents) == contents.size(), Text(path));
    return path;
}

QByteArray Get(const QString &path) {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly), Text(path));
    return file.readAll();
}

// The file's lines as a writer sees them: after a byte order mark, split at line feeds, a
// last line without its line feed counted like one with it.
QList<QByteArray> Lines(QByteArray contents) {
    if (contents.startsWith("\xEF\xBB\xBF")) contents.remove(0, 3);
    QList<QByteArray> lines = contents.split('\n');
    if (lines.back().isEmpty()) lines.removeLast();
    return lines;
}

// One key written: the file before and after differ in one replaced line, one inserted line,
// or a section header and its key appended; the new line(s) end in the value written.
void CheckOneLineChanged(const QByteArray &before, const QByteArray &after, int value) {
    FUZZ_CHECK(before.startsWith("\xEF\xBB\xBF") == after.startsWith("\xEF\xBB\xBF"), "byte order mark");
    const QList<QByteArray> old = Lines(before);
    const QList<QByteArray> now = Lines(after);
    qsizetype head = 0;
    while (head < old.size() && head < now.size() && old[head] == now[head])
        ++head;
    qsizetype tail = 0;
    while (tail < old.size() - head && tail < now.size() - head &&
           old[old.size() - 1 - tail] == now[now.size() - 1 - tail])
        ++tail;
    const qsizetype removed = old.size() - head - tail;
    const qsizetype added = now.size() - head - tail;
    const std::string where = "at line " + std::to_string(head) + ": " + std::to_string(removed) +
                              " line(s) replaced by " + std::to_string(added);
    FUZZ_CHECK(removed <= 1 && added >= removed && added <= 2, where);
    const QByteArray written = '=' + QByteArray::number(value);
    FUZZ_CHECK(added == 0 ||
                   now[head + added - 1].chopped(now[head + added - 1].endsWith('\r')).endsWith(written),
               where);
}

// The write an input asks for: the key by its last byte, the value from its first four, so
// every key and every bit pattern turn up.
std::pair<std::size_t, int> WriteFrom(const QByteArray &bytes, std::size_t keys) {
    if (bytes.isEmpty()) return {0, 0};
    std::uint32_t value = 0;
    for (qsizetype i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes[i % bytes.size()]);
    return {static_cast<std::uint8_t>(bytes.back()) % keys, static_cast<int>(value)};
}

// A text no value can hold: values never contain a line feed.
const QString kAbsent = QStringLiteral("\n");

} // namespace

int FuzzIni(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes = Bytes(data, size);
    const QString path = Put(ScratchFile("fuzz.ini"), bytes);
    const auto names = SettingNames();

    std::array<QString, names.size()> values;
    {
        const TIniFile ini(path);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const auto [section, key] = names[i];
            values[i] = ini.ReadString(section, key, kAbsent);
            FUZZ_CHECK((values[i] != kAbsent) == ini.ValueExists(section, key), key);
            // A value either converts, whatever the default, or gives the default.
            const int a = ini.ReadInteger(section, key, INT_MIN);
            const int b = ini.ReadInteger(section, key, INT_MAX);
            FUZZ_CHECK(a == b || (a == INT_MIN && b == INT_MAX), key);
            // What converts is written back in decimal; that must read as the same number.
            if (a == b) FUZZ_CHECK(TIniFile::ParseInteger(QString::number(a)) == a, Text(values[i]));
        }
    }

    // One write per input keeps the runs fast; the round trip writes them all in a row.
    const auto [i, value] = WriteFrom(bytes, names.size());
    const auto [section, key] = names[i];
    try {
        TIniFile(path).WriteInteger(section, key, value);
    } catch (const EMMIniError &e) {
        FUZZ_CHECK(false, e.what());
    }
    CheckOneLineChanged(bytes, Get(path), value);
    values[i] = QString::number(value);
    const TIniFile again(path);
    for (std::size_t j = 0; j < names.size(); ++j)
        FUZZ_CHECK(again.ReadString(names[j].Section, names[j].Key, kAbsent) == values[j],
                   std::string(key) + " written, " + names[j].Key + " read");
    return 0;
}

int FuzzSettingsRoundTrip(const std::uint8_t *data, std::size_t size) {
    const QString path = Put(ScratchFile("VelmoraPro.ini"), Bytes(data, size));
    TSettings loaded;
    ReadAllSettings(path, loaded);
    try {
        WriteAllSettings(path, loaded);
        TSettings back;
        ReadAllSettings(path, back);
        FUZZ_CHECK(back == loaded, Text(loaded) + " saved, " + Text(back) + " read back");
        const QByteArray saved = Get(path);
        WriteAllSettings(path, back);
        FUZZ_CHECK(Get(path) == saved, "a second save changed the file");
    } catch (const EMMIniError &e) {
        FUZZ_CHECK(false, e.what());
    }
    return 0;
}

int FuzzSettingsLoad(const std::uint8_t *data, std::size_t size) {
    const QString dir = ScratchFile("console");
    FUZZ_CHECK(QDir().mkpath(dir), Text(dir));
    const QString path = Put(SettingsFilePath(dir), Bytes(data, size));
    TSettings s;
    ReadAllSettings(path, s);

    static TSimWaveInDriver driver;
    // What the console posted to itself goes with it, as the running program's loop would see to.
    struct TPostedEvents {
        ~TPostedEvents() { QCoreApplication::sendPostedEvents(); }
    } posted;
    TMainForm form({driver, dir, {}});
    // The console looks the saved input up by its name among the listed devices.
    std::vector<std::string> listed;
    for (unsigned id = 0; id < form.MMWaveIn1->Driver().GetNumDevs(); ++id) {
        WAVEINCAPS caps{};
        form.MMWaveIn1->Driver().GetDevCaps(static_cast<int>(id), &caps, sizeof caps);
        listed.emplace_back(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
    }
    const bool found = FindInputDevice(s, listed);
    const TSettings &f = form.Settings;
    FUZZ_CHECK(f == s, Text(s) + " in the file, " + Text(f) + " in the console");

    // The menu's reference box within its range; the meters take the value or their fallback.
    const int shown = form.SetupRefLvl->Value();
    FUZZ_CHECK(shown == std::clamp(s.VURefLevel, -30, -10), std::to_string(shown));
    for (const TMMMeter *meter : {form.PlayMeterL, form.PlayMeterR}) {
        const double ref = meter->RefLevel();
        const bool inRange = s.VURefLevel >= -30 && s.VURefLevel <= -10;
        FUZZ_CHECK(ref == (inRange ? s.VURefLevel : -16.0), std::to_string(ref));
    }
    const TLayoutPlaces places = LayoutPlaces(LayoutOfVUPos(s.VUPos));
    FUZZ_CHECK(form.PnlPhase->pos() == places.PnlPhase && form.PnlVU->pos() == places.PnlVU &&
                   form.PanelSpectrum->pos() == places.PanelSpectrum,
               Text(s));
    FUZZ_CHECK(form.RbUpper->isChecked() == (s.VUPos == 1) && form.RbLower->isChecked() == (s.VUPos != 1),
               Text(s));
    FUZZ_CHECK(form.BdRedLine->isVisibleTo(form.Trend7) == s.ShowRedLine &&
                   form.SetUpChkRedLine->isChecked() == s.ShowRedLine && form.BdRedLine->y() == s.RedLinePos,
               Text(s));
    const TMMLED *leds[] = {form.SetupLed1, form.SetupLed2, form.SetupLed3};
    const int levels[] = {s.PeakLevel1, s.PeakLevel2, s.PeakLevel3};
    for (int i = 0; i < 3; ++i)
        FUZZ_CHECK(leds[i]->Caption() == QString::number(levels[i]), Text(leds[i]->Caption()));
    FUZZ_CHECK(form.rbLevelG->isChecked() == s.ShowGraph &&
                   form.PanelGrph->isVisibleTo(&form) == s.ShowGraph &&
                   form.PanelSpectrum->isVisibleTo(&form) == !s.ShowGraph,
               Text(s));
    FUZZ_CHECK(form.CbLineSpa->isChecked() == s.LineSpa &&
                   form.MMSpectrum2->Kind() == (s.LineSpa ? skLines : skBars),
               Text(s));
    // A device number beyond the list is no device (-2) and selects no entry.
    const int device = form.MMWaveIn1->DeviceID();
    FUZZ_CHECK(
        device ==
            (found && s.InputDevNo >= -1 && s.InputDevNo < form.cmbInputDevice->count() ? s.InputDevNo : -2),
        std::to_string(device));
    FUZZ_CHECK(form.cmbInputDevice->currentIndex() == std::max(device, -1), Text(s));

    // The operator's next steps: each spin click moves its value by one, and stops at the
    // ends of its range (the reference box's, or the integer's for the unlimited ones).
    const auto stepped = [](int before, int after, int step, int low, int high) {
        const long long want = std::clamp<long long>(static_cast<long long>(before) + step, low, high);
        return after == want;
    };
    struct TSpin {
        void (TMainForm::*Up)();
        void (TMainForm::*Down)();
        const int *Field;
        int Low, High;
    };
    const TSpin spins[] = {
        {&TMainForm::MMSpinButton1UpClick, &TMainForm::MMSpinButton1DownClick, &f.VURefLevel, -30, -10},
        {&TMainForm::MMSpinButton2UpClick, &TMainForm::MMSpinButton2DownClick, &f.PeakLevel1, INT_MIN,
         INT_MAX},
        {&TMainForm::MMSpinButton3UpClick, &TMainForm::MMSpinButton3DownClick, &f.PeakLevel2, INT_MIN,
         INT_MAX},
        {&TMainForm::MMSpinButton4UpClick, &TMainForm::MMSpinButton4DownClick, &f.PeakLevel3, INT_MIN,
         INT_MAX},
        // Up raises the red line: its top goes down by one.
        {&TMainForm::MMSpinButton5DownClick, &TMainForm::MMSpinButton5UpClick, &f.RedLinePos, INT_MIN,
         INT_MAX},
    };
    for (const TSpin &spin : spins) {
        for (const auto &[click, step] : {std::pair{spin.Up, +1}, std::pair{spin.Down, -1}}) {
            const int before = *spin.Field;
            // The reference steps from what the box shows.
            const int from = spin.Field == &f.VURefLevel ? form.SetupRefLvl->Value() : before;
            (form.*click)();
            FUZZ_CHECK(stepped(from, *spin.Field, step, spin.Low, spin.High),
                       std::to_string(before) + " stepped " + std::to_string(step) + " to " +
                           std::to_string(*spin.Field));
        }
    }
    FUZZ_CHECK(form.SetupLed1->Caption() == QString::number(f.PeakLevel1) &&
                   form.SetupLed2->Caption() == QString::number(f.PeakLevel2) &&
                   form.SetupLed3->Caption() == QString::number(f.PeakLevel3) &&
                   form.BdRedLine->y() == f.RedLinePos && form.PlayMeterL->RefLevel() == f.VURefLevel,
               Text(f));

    // "Save Setting" and a fresh load give the console's fields back.
    try {
        form.BtnSaveSettingClick();
    } catch (const EMMIniError &e) {
        FUZZ_CHECK(false, e.what());
    }
    TSettings back;
    ReadAllSettings(path, back);
    FUZZ_CHECK(back == f, Text(f) + " saved, " + Text(back) + " read back");
    return 0;
}

int FuzzCommandLine(const std::uint8_t *data, std::size_t size) {
    QStringList arguments{QStringLiteral("VelmoraPro")};
    for (const QByteArray &argument : Bytes(data, size).split('\0'))
        arguments << QString::fromLocal8Bit(argument);

    const auto read = [&arguments] {
        QCommandLineParser parser;
        DeclareOptions(parser);
        const TStartOptions options = ReadOptions(parser, arguments);
        // A refused command line is answered with the help text.
        if (!options.Error.isEmpty()) FUZZ_CHECK(!parser.helpText().isEmpty(), Text(options.Error));
        return options;
    };
    const TStartOptions options = read();
    const TStartOptions again = read();
    FUZZ_CHECK(options.Error == again.Error && options.ShowHelp == again.ShowHelp &&
                   options.ShowVersion == again.ShowVersion &&
                   options.SimulatedDevices == again.SimulatedDevices &&
                   options.StudioClock == again.StudioClock,
               "the same arguments read twice differ");
    if (!options.Error.isEmpty())
        FUZZ_CHECK(!options.ShowHelp && !options.ShowVersion && !options.SimulatedDevices &&
                       !options.StudioClock,
                   Text(options.Error));
    // An option is on only when named in full: no abbreviation, no value.
    const auto named = [&arguments](const QString &name) {
        return arguments.contains("--" + name) || arguments.contains("-" + name);
    };
    FUZZ_CHECK(!options.SimulatedDevices || named("simulated-devices"), Text(arguments.join(' ')));
    FUZZ_CHECK(!options.StudioClock || named("studio-clock"), Text(arguments.join(' ')));
    return 0;
}

int FuzzJpeg(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes = Bytes(data, size);
    QString error;
    const QImage picture = DecodeJpeg(bytes, &error);
    FUZZ_CHECK(picture.isNull() != error.isEmpty(), Text(error));
    FUZZ_CHECK(DecodeJpeg(bytes) == picture, "two decodings of the same bytes differ");
    // The clock keys the ground out; a refused picture leaves the dot without one.
    const QImage dot = TransparentPicture(picture, kDotKeyTolerance);
    FUZZ_CHECK(dot.isNull() == picture.isNull(), "");
    if (dot.isNull()) return 0;
    FUZZ_CHECK(static_cast<long long>(picture.width()) * picture.height() <= kMaxJpegPixels &&
                   picture.format() == QImage::Format_RGB888 && dot.size() == picture.size() &&
                   dot.hasAlphaChannel() && qAlpha(dot.pixel(0, dot.height() - 1)) == 0,
               std::to_string(picture.width()) + " x " + std::to_string(picture.height()));
    return 0;
}

std::span<const TFuzzTarget> FuzzTargets() {
    static constexpr TFuzzTarget targets[] = {{"ini", &FuzzIni},
                                              {"settings", &FuzzSettingsLoad},
                                              {"roundtrip", &FuzzSettingsRoundTrip},
                                              {"cmdline", &FuzzCommandLine},
                                              {"jpeg", &FuzzJpeg}};
    return targets;
}

#include "platform/IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QByteArray Bom("\xEF\xBB\xBF");

bool SameName(const QString &a, const QString &b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// 0-15 for an ASCII hexadecimal digit, -1 otherwise.
int DigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    return -1;
}

bool HasLineBreak(const QString &s) {
    return s.contains(u'\n') || s.contains(u'\r');
}

} // namespace

TIniFile::TIniFile(const QString &fileName) : FFileName(fileName) {
    Load();
}

void TIniFile::Load() {
    FLines.clear();
    FHasBom = false;
    FCrLf = false;
    FWritable = true;

    const QFileInfo info(FFileName);
    if (!info.exists() && !info.isSymLink()) return; // a new file: empty, and free to create
    QFile file(FFileName);
    if (!info.isFile() || info.size() > MaxFileSize || !file.open(QIODevice::ReadOnly)) {
        // Unreadable: every read takes its default, and a write must not replace
        // content that was never seen.
        FWritable = false;
        return;
    }
    const QByteArray data = file.readAll();
    if (data.size() > MaxFileSize || file.error() != QFileDevice::NoError) {
        FWritable = false;
        return;
    }
    Parse(data);
}

void TIniFile::Parse(const QByteArray &data) {
    QByteArrayView rest(data);
    if (rest.startsWith(Bom)) {
        FHasBom = true;
        rest = rest.sliced(Bom.size());
    }
    qsizetype section = -1;
    while (!rest.isEmpty()) {
        const qsizetype lf = rest.indexOf('\n');
        const QByteArrayView raw = lf < 0 ? rest : rest.first(lf);
        rest = lf < 0 ? QByteArrayView() : rest.sliced(lf + 1);
        if (FLines.empty()) FCrLf = raw.endsWith('\r');
        FLines.push_back(ParseLine(raw.toByteArray(), section));
        if (FLines.back().Kind == TLineKind::Section) section = static_cast<qsizetype>(FLines.size()) - 1;
    }
}

TIniFile::TLine TIniFile::ParseLine(const QByteArray &raw, qsizetype section) {
    TLine line{raw, TLineKind::Other, {}, section, {}};
    const QByteArray text = raw.trimmed();
    if (text.isEmpty() || text.startsWith(';') || text.startsWith('#')) return line;
    if (text.startsWith('[')) {
        // A header without its closing bracket is not a header; the line is kept as it is.
        const qsizetype close = text.indexOf(']');
        if (close > 0) {
            line.Kind = TLineKind::Section;
            line.Name = QString::fromUtf8(text.mid(1, close - 1).trimmed());
        }
        return line;
    }
    const qsizetype eq = text.indexOf('=');
    if (eq <= 0) return line;
    const QByteArray key = text.left(eq).trimmed();
    if (key.isEmpty()) return line;
    line.Kind = TLineKind::Key;
    line.Name = QString::fromUtf8(key);
    line.Value = text.mid(eq + 1).trimmed();
    return line;
}

qsizetype TIniFile::FindSection(const QString &section) const {
    for (qsizetype i = 0; i < static_cast<qsizetype>(FLines.size()); ++i)
        if (FLines[i].Kind == TLineKind::Section && SameName(FLines[i].Name, section)) return i;
    return -1;
}

// The first occurrence wins, also across repeated sections of the same name.
qsizetype TIniFile::FindKey(const QString &section, const QString &key) const {
    for (qsizetype i = 0; i < static_cast<qsizetype>(FLines.size()); ++i) {
        const TLine &line = FLines[i];
        if (line.Kind == TLineKind::Key && line.Section >= 0 && SameName(line.Name, key) &&
            SameName(FLines[line.Section].Name, section))
            return i;
    }
    return -1;
}

bool TIniFile::ValueExists(const QString &section, const QString &key) const {
    return FindKey(section, key) >= 0;
}

QString TIniFile::ReadString(const QString &section, const QString &key, const QString &defaultValue) const {
    const qsizetype i = FindKey(section, key);
    return i < 0 ? defaultValue : QString::fromUtf8(FLines[i].Value);
}

int TIniFile::ReadInteger(const QString &section, const QString &key, int defaultValue) const {
    const qsizetype i = FindKey(section, key);
    if (i < 0) return defaultValue;
    return ParseInteger(QString::fromUtf8(FLines[i].Value)).value_or(defaultValue);
}

std::optional<int> TIniFile::ParseInteger(QStringView text) {
    text = text.trimmed();
    bool negative = false;
    if (text.startsWith(u'-') || text.startsWith(u'+')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    int base = 10;
    if (text.startsWith(u"0x") || text.startsWith(u"0X")) {
        base = 16;
        text = text.sliced(2);
    } else if (text.startsWith(u'$')) {
        base = 16;
        text = text.sliced(1);
    }
    if (text.isEmpty()) return std::nullopt;

    // Hexadecimal takes any 32-bit pattern ("$FFFFFFFF" is -1); decimal must fit as it stands.
    const std::uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    std::uint64_t magnitude = 0;
    for (const QChar c : text) {
        const int digit = DigitValue(c);
        if (digit < 0 || digit >= base) return std::nullopt;
        magnitude = magnitude * base + static_cast<std::uint64_t>(digit);
        if (magnitude > limit) return std::nullopt;
    }
    if (!negative) return static_cast<int>(static_cast<std::uint32_t>(magnitude));
    if (magnitude > 0x80000000ull) return std::nullopt;
    return static_cast<int>(-static_cast<std::int64_t>(magnitude));
}

void TIniFile::WriteString(const QString &section, const QString &key, const QString &value) {
    // A name or value that would break the line structure cannot be stored faithfully.
    if (section.isEmpty() || section != section.trimmed() || section.contains(u']') ||
        HasLineBreak(section) || key.isEmpty() || key != key.trimmed() || key.contains(u'=') ||
        key.startsWith(u'[') || key.startsWith(u';') || key.startsWith(u'#') || HasLineBreak(key) ||
        HasLineBreak(value))
        Fail();

    // Start from the file as it is now, so what others wrote meanwhile is kept.
    Load();
    if (!FWritable) Fail();

    const QByteArray eol = FCrLf ? QByteArray("\r") : QByteArray();
    const qsizetype existing = FindKey(section, key);
    if (existing >= 0) {
        TLine &line = FLines[existing];
        // Keep the key as spelt in the file and the line's own ending.
        const QByteArray ending = line.Raw.endsWith('\r') ? QByteArray("\r") : QByteArray();
        line.Raw = line.Raw.left(line.Raw.indexOf('=') + 1) + value.toUtf8() + ending;
    } else {
        const QByteArray keyLine = key.toUtf8() + '=' + value.toUtf8() + eol;
        const qsizetype header = FindSection(section);
        if (header >= 0) {
            qsizetype at = header + 1;
            for (qsizetype i = header + 1; i < static_cast<qsizetype>(FLines.size()); ++i) {
                if (FLines[i].Section != header) break;
                if (FLines[i].Kind == TLineKind::Key) at = i + 1;
            }
            FLines.insert(FLines.begin() + at, TLine{keyLine, TLineKind::Key, key, header, {}});
        } else {
            FLines.push_back(TLine{'[' + section.toUtf8() + ']' + eol, TLineKind::Section, section, -1, {}});
            FLines.push_back(TLine{keyLine, TLineKind::Key, key, -1, {}});
        }
    }
    try {
        Save();
    } catch (...) {
        Load();
        throw;
    }
    Load();
}

void TIniFile::WriteInteger(const QString &section, const QString &key, int value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::Save() const {
    QByteArray data;
    if (FHasBom) data += Bom;
    for (const TLine &line : FLines) {
        data += line.Raw;
        data += '\n';
    }
    QSaveFile file(FFileName);
    // Only where no temporary can be made beside the file is it written in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) Fail();
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        Fail();
    }
    if (!file.commit()) Fail();
}

void TIniFile::Fail() const {
    throw EMMIniError(QStringLiteral("%1 に書き込めません").arg(FFileName).toStdString());
}

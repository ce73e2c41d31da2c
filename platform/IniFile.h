#pragma once

// A small INI file reader and writer. Every write goes straight to disk and
// replaces the file atomically; lines, sections, keys and comments it does not
// touch are kept byte for byte. Section and key names compare case-insensitively.

#include "platform/MMError.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class EMMIniError : public EMMError {
  public:
    using EMMError::EMMError;
};

class TIniFile {
  public:
    // Largest file taken in; a bigger one reads as empty and is never overwritten.
    static constexpr std::int64_t MaxFileSize = 16 * 1024 * 1024;

    explicit TIniFile(const QString &fileName);

    const QString &FileName() const { return FFileName; }

    bool ValueExists(const QString &section, const QString &key) const;
    QString ReadString(const QString &section, const QString &key, const QString &defaultValue) const;
    // Decimal, or hexadecimal after "0x", "0X" or "$"; anything else gives the default.
    int ReadInteger(const QString &section, const QString &key, int defaultValue) const;

    // Both raise EMMIniError("<path> に書き込めません") when the file cannot be written;
    // the file is then as it was before the call.
    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteInteger(const QString &section, const QString &key, int value);

    // The text-to-integer rule of ReadInteger, for callers that hold a value already.
    static std::optional<int> ParseInteger(QStringView text);

  private:
    enum class TLineKind { Other, Section, Key };
    struct TLine {
        QByteArray Raw; // as in the file, without the line feed (a carriage return stays)
        TLineKind Kind = TLineKind::Other;
        QString Name;      // section name or key name
        qsizetype Section; // index of the section header line above, -1 before any
        QByteArray Value;  // trimmed value of a key line
    };

    void Load();
    void Parse(const QByteArray &data);
    static TLine ParseLine(const QByteArray &raw, qsizetype section);
    qsizetype FindSection(const QString &section) const;
    qsizetype FindKey(const QString &section, const QString &key) const;
    void Save() const;
    [[noreturn]] void Fail() const;

    QString FFileName;
    std::vector<TLine> FLines;
    bool FHasBom = false;
    bool FCrLf = false;
    bool FWritable = true; // false when an existing file could not be taken in whole
};

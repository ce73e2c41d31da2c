#include "app/LoudnessCommand.h"

#include "analysis/LoudnessFile.h"
#include "platform/AudioFileReader.h"

#include <stdexcept>
#include <string>

namespace {

// One file's line, or the reason it has none (naming the file).
bool MeasureLine(const std::string &path, bool json, std::string &line) {
    try {
        const TFileLoudness loudness = MeasureLoudnessFile(path);
        line = json ? LoudnessJson(path, loudness) : LoudnessText(path, loudness);
        return true;
    } catch (const EMMAudioFileError &e) {
        line = e.what();
    } catch (const std::exception &e) {
        line = path + ": " + e.what();
    }
    return false;
}

} // namespace

int RunLoudnessCommand(const QStringList &files, bool json, std::FILE *out, std::FILE *err) {
    int status = 0;
    for (const QString &name : files) {
        const std::string path = name.toLocal8Bit().toStdString();
        std::string line;
        if (!MeasureLine(path, json, line)) {
            std::fprintf(err, "VelmoraPro: %s\n", line.c_str());
            status = 1;
            if (!json) continue;
            line = LoudnessJsonError(path, line);
        }
        std::fprintf(out, "%s\n", line.c_str());
        std::fflush(out);
    }
    return status;
}

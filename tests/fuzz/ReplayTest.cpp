// Every seed and every regression input of the fuzz programs, run through the same entry
// without the fuzzer. An entry aborts on a broken property, which fails its case.

#include "fuzz/FuzzEntries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

struct TReplayInput {
    TFuzzEntry Entry;
    std::string Name; // target, folder and file, as the case is named
    QString Path;
};

QStringList InputFiles(const char *folder, const char *target) {
    const QDir dir(QStringLiteral(VELMORA_FUZZ_DIR "/%1/%2").arg(folder, target));
    QStringList files;
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
        files << dir.filePath(name);
    return files;
}

std::vector<TReplayInput> ReplayInputs() {
    std::vector<TReplayInput> inputs;
    for (const TFuzzTarget &target : FuzzTargets())
        for (const char *folder : {"corpus", "regressions"})
            for (const QString &path : InputFiles(folder, target.Name))
                inputs.push_back(
                    {target.Entry,
                     std::string(target.Name) + "_" + folder + "_" + QFileInfo(path).fileName().toStdString(),
                     path});
    return inputs;
}

std::string CaseName(const ::testing::TestParamInfo<TReplayInput> &info) {
    std::string name = info.param.Name;
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

class FuzzReplay : public ::testing::TestWithParam<TReplayInput> {};

} // namespace

TEST_P(FuzzReplay, PassesItsEntrysChecks) {
    QFile file(GetParam().Path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << GetParam().Path.toStdString();
    const QByteArray data = file.readAll();
    EXPECT_EQ(0, GetParam().Entry(reinterpret_cast<const std::uint8_t *>(data.constData()),
                                  static_cast<std::size_t>(data.size())));
}

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzReplay, ::testing::ValuesIn(ReplayInputs()), CaseName);

// A renamed target or a moved folder would leave its replay silently empty.
TEST(FuzzReplayInputs, EveryTargetHasSeeds) {
    for (const TFuzzTarget &target : FuzzTargets()) {
        EXPECT_FALSE(InputFiles("corpus", target.Name).isEmpty()) << target.Name;
        EXPECT_TRUE(QDir(QStringLiteral(VELMORA_FUZZ_DIR "/regressions/%1").arg(target.Name)).exists())
            << target.Name;
    }
}

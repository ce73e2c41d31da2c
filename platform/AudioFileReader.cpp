#include "platform/AudioFileReader.h"

#include <sndfile.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

struct TAudioFileReader::TFile {
    SNDFILE *Handle;
    ~TFile() { sf_close(Handle); }
};

namespace {

[[noreturn]] void Fail(const std::string &path, const std::string &why) {
    throw EMMAudioFileError(path + ": " + why);
}

// libsndfile says "System error" for what the file system refused; say what it was first.
void CheckReadable(const std::string &path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) Fail(path, std::strerror(errno));
    if (S_ISDIR(info.st_mode)) Fail(path, "is a folder, not an audio file");
    if (access(path.c_str(), R_OK) != 0) Fail(path, std::strerror(errno));
}

} // namespace

TAudioFileReader::TAudioFileReader(const std::string &path) : FPath(path) {
    CheckReadable(path);
    SF_INFO info{};
    SNDFILE *handle = sf_open(path.c_str(), SFM_READ, &info);
    if (handle == nullptr) {
        if (sf_error(nullptr) == SF_ERR_SYSTEM)
            Fail(path, std::string("cannot be read: ") + sf_strerror(nullptr));
        Fail(path, std::string("not an audio file that can be read (") + sf_strerror(nullptr) + ")");
    }
    FFile.reset(new TFile{handle});
    if (info.channels <= 0 || info.samplerate <= 0) Fail(path, "holds no channels or no sample rate");
    FChannels = static_cast<unsigned>(info.channels);
    FRate = static_cast<unsigned long>(info.samplerate);
    FFrames = info.frames;
    // Integer samples come as -1.0 .. 1.0; floating-point ones as they are, so overs count.
    sf_command(handle, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
}

TAudioFileReader::~TAudioFileReader() = default;

std::size_t TAudioFileReader::Read(float *frames, std::size_t count) {
    const sf_count_t got = sf_readf_float(FFile->Handle, frames, static_cast<sf_count_t>(count));
    if (got < 0 || (got == 0 && sf_error(FFile->Handle) != SF_ERR_NO_ERROR))
        Fail(FPath, std::string("read failed: ") + sf_strerror(FFile->Handle));
    return static_cast<std::size_t>(got);
}

#include "audio/MMWaveIn.h"

#include "platform/MMMessageBox.h"

// --- Properties ---------------------------------------------------------------

void TMMCustomWaveIn::SetBufferSize(int Value) {
    if (Value == RequestedBufferSize()) return;
    Guard();
    FAllocator.FreeAll();
    TMMCustomSoundComponent::SetBufferSize(std::max(Value, 32));
}

void TMMCustomWaveIn::SetCallBackMode(TMMCBMode Value) {
    Guard();
    if (Value == FCallBackMode) return;
    if (Value == cmCallback) {
        // Driver callbacks run on the driver's own thread here, where the chain must not run.
        MMMessageBox("\"CallBacks\" are called at interrupt time !\n\rThis is currently only "
                     "supported under Windows 95",
                     "TMMWaveIn");
        return;
    }
    FCallBackMode = Value;
}

void TMMCustomWaveIn::SetDeviceID(TMMDeviceId Value) {
    Guard();
    ApplyDeviceID(Value);
}

void TMMCustomWaveIn::ApplyDeviceID(TMMDeviceId Value) {
    FProductName = WaveInDeviceName(FDriver, Value, FNumDevs).value_or(WaveInMessage(MSG_NO_DEVICE));
    FDeviceID = IsWaveInDeviceId(Value, FNumDevs) ? Value : -2;
}

void TMMCustomWaveIn::SetNumBuffers(int Value) {
    if (Value == FNumBuffers || Value <= 1) return;
    Guard();
    FNumBuffers = std::min(Value, MaxSlots);
}

void TMMCustomWaveIn::SetProductName(const std::string &Value) {
    (void)Value;
}

void TMMCustomWaveIn::SetMode(TMMMode Value) {
    if (Value == FMode || Value >= mMultiChannel) return;
    Guard();
    FMode = Value;
    RebuildFormat();
}

void TMMCustomWaveIn::SetBitLength(TMMBits Value) {
    if (Value == FBitLength) return;
    Guard();
    FBitLength = Value;
    RebuildFormat();
}

void TMMCustomWaveIn::SetSampleRate(int Value) {
    if (Value == FSampleRate) return;
    Guard();
    FSampleRate = MinMax(Value, 8000, 100000);
    RebuildFormat();
}

void TMMCustomWaveIn::RebuildFormat() {
    BuildPCMFormat(FOwnFormat, static_cast<std::uint16_t>((FBitLength + 1) * 8),
                   static_cast<std::uint16_t>(FMode + 1), static_cast<std::uint32_t>(FSampleRate));
    SetPWaveFormat(&FOwnFormat);
}

void TMMCustomWaveIn::SetPWaveFormat(const TWaveFormatEx *Value) {
    Close();
    if (IsValidPCMFormat(Value)) {
        SetSampleRate(static_cast<int>(Value->nSamplesPerSec));
        SetBitLength(static_cast<TMMBits>(Value->wBitsPerSample / 8 - 1));
        SetMode(static_cast<TMMMode>(Value->nChannels - 1));
    }
    TMMCustomSoundComponent::SetPWaveFormat(Value);
}

void TMMCustomWaveIn::SetTimeFormat(TMMTimeFormats Value) {
    if (Value == FTimeFormat) return;
    FTimeFormat = Value;
    const TWaveFormatEx *format = PWaveFormat();
    if (FMaxRecordTime < 0 || format == nullptr) return;
    const auto bytes = static_cast<std::int32_t>(std::min<std::uint32_t>(FMaxBytes.load(), INT32_MAX));
    switch (FTimeFormat) {
    case tfMillisecond:
        FMaxRecordTime = BytesToMs(*format, bytes);
        break;
    case tfSample:
        FMaxRecordTime = BytesToSamples(*format, bytes);
        break;
    case tfByte:
        FMaxRecordTime = bytes;
        break;
    }
}

void TMMCustomWaveIn::SetMaxRecordTime(int Value) {
    FMaxRecordTime = Value;
    RecomputeMaxBytes();
}

void TMMCustomWaveIn::RecomputeMaxBytes() {
    const TWaveFormatEx *format = PWaveFormat();
    if (FMaxRecordTime < 0 || format == nullptr) {
        FMaxBytes = 0xFFFFFFFFu;
        return;
    }
    std::int64_t bytes;
    switch (FTimeFormat) {
    case tfMillisecond:
        bytes = format->nAvgBytesPerSec != 0 ? MsToBytes(*format, FMaxRecordTime.load()) : -1;
        break;
    case tfSample:
        bytes = format->nSamplesPerSec != 0 ? SamplesToBytes(*format, FMaxRecordTime.load()) : -1;
        break;
    default:
        bytes = FMaxRecordTime;
        break;
    }
    if (bytes < 0) {
        FMaxBytes = 0xFFFFFFFFu;
        return;
    }
    if (format->nBlockAlign > 0) bytes -= bytes % format->nBlockAlign;
    FMaxBytes = static_cast<std::uint32_t>(bytes);
}

// --- Format check and position ------------------------------------------------

bool TMMCustomWaveIn::CanRecordFormat() {
    return WaveInDeviceCanRecord(FDriver, FDeviceID, FNumDevs, PWaveFormat());
}

std::uint32_t TMMCustomWaveIn::Position() {
    const HWAVEIN handle = FHandle.load();
    if (!IsOpen() || FStop.Closing() || handle == nullptr) return 0;
    return ReadPosition(handle);
}

std::uint32_t TMMCustomWaveIn::ReadPosition(HWAVEIN Handle) {
    MMTIME time;
    time.wType = TIME_SAMPLES;
    if (FDriver.GetPosition(Handle, &time, sizeof time) == MMSYSERR_NOERROR && time.wType == TIME_SAMPLES)
        return time.value;
    time.wType = TIME_BYTES;
    Throw(FDriver.GetPosition(Handle, &time, sizeof time), "WaveInGetPosition:");
    const TWaveFormatEx *format = PWaveFormat();
    return format != nullptr
               ? static_cast<std::uint32_t>(BytesToSamples(*format, static_cast<std::int32_t>(time.value)))
               : time.value;
}

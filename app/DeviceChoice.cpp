#include "app/DeviceChoice.h"

int ChooseListedDevice(const QString &choice, const std::vector<TListedDevice> &listed) {
    bool isNumber = false;
    const int number = choice.toInt(&isNumber);
    const int count = static_cast<int>(listed.size());
    if (isNumber) return number >= 0 && number < count ? number : -1;
    const std::string name = choice.toLocal8Bit().toStdString();
    for (int i = 0; i < count; ++i)
        if (listed[static_cast<std::size_t>(i)].Name == name ||
            listed[static_cast<std::size_t>(i)].Shown() == name)
            return i;
    return -1;
}

std::string DeviceListText(const std::vector<TListedDevice> &listed) {
    std::string text;
    for (std::size_t i = 0; i < listed.size(); ++i)
        text += std::to_string(i) + "  " + listed[i].Shown() + "\n";
    return text.empty() ? "No input found.\n" : text;
}

-- The tests' session manager leaves the machine's cards, cameras and desktop bus alone.
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
default_access.properties["enable-flatpak-portal"] = false

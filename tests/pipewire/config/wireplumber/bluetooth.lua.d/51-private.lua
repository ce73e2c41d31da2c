-- No Bluetooth (and no login-seat bus) for the tests' session manager.
bluez_monitor.enabled = false

#!/bin/sh
# Starts the console in its own folder: it keeps its settings beside itself, and
# "Load Default Setting" takes the defaults file from the working directory.
here=$(dirname "$(readlink -f "$0")")
cd "$here/../lib/velmora" || exit 1
exec ./VelmoraPro "$@"

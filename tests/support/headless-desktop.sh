#!/bin/bash
# Starts one real desktop without a screen inside the private session bus it runs in
# (dbus-run-session), then writes what its programs need to READY and stays until it is ended:
#   headless-desktop.sh kde|kde-xwayland|gnome FOLDER READY
# FOLDER holds the private system bus's configuration. HOME, the XDG folders,
# DBUS_SYSTEM_BUS_ADDRESS and XDG_DESKTOP_PORTAL_DIR come from the caller, so that the bus and
# every service it starts stay inside the test's world.
set -u
kind=$1
folder=$2
ready=$3

# Waits up to two minutes for a name on the session bus; the machine may be busy. If it does not
# come, says where the desktop's programs wait.
wait_for_name() {
    gdbus wait --session --timeout 120 "$1" && return 0
    echo "headless-desktop: no $1" >&2
    ps -o pid,stat,wchan:24,args -g "$(ps -o pgid= $$ | tr -d ' ')" >&2
    exit 1
}
# What the bus starts on demand (portal backends that a GTK program's start may call up) runs
# on the compositor, as in a real session; started before that, they cannot show anything.
share_display() {
    dbus-update-activation-environment WAYLAND_DISPLAY QT_QPA_PLATFORM
}
wait_for_socket() {
    for _ in $(seq 3000); do
        [ -S "$1" ] && return 0
        sleep 0.1
    done
    echo "headless-desktop: no $1" >&2
    exit 1
}

# What an earlier start that was given up may have left.
rm -f "$XDG_RUNTIME_DIR"/wayland-0 "$XDG_RUNTIME_DIR"/wayland-0.lock "$XDG_RUNTIME_DIR"/presto-kde \
    "$XDG_RUNTIME_DIR"/presto-kde.lock "${DBUS_SYSTEM_BUS_ADDRESS#unix:path=}" "$folder/display"

# An empty system bus: nothing the desktop asks there (logind among others) reaches the machine.
dbus-daemon --config-file="$folder/system.conf" --nofork --nopidfile &
wait_for_socket "${DBUS_SYSTEM_BUS_ADDRESS#unix:path=}"

x11_display=
case "$kind" in
kde | kde-xwayland)
    # A copy without the binary's file capability, which containers may refuse.
    cp /usr/bin/kwin_wayland "$folder/kwin_wayland"
    xwayland=()
    if [ "$kind" = kde-xwayland ]; then
        # KWin starts its X server and tells the program it runs which display that is.
        xwayland=(--xwayland --exit-with-session
            "/bin/sh -c 'echo \$DISPLAY > $folder/display.new; mv $folder/display.new $folder/display; exec sleep infinity'")
    fi
    KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 "$folder/kwin_wayland" --virtual --no-lockscreen \
        --socket presto-kde "${xwayland[@]}" &
    wait_for_socket "$XDG_RUNTIME_DIR/presto-kde"
    if [ "$kind" = kde-xwayland ]; then
        for _ in $(seq 3000); do
            [ -f "$folder/display" ] && break
            sleep 0.1
        done
        x11_display=$(cat "$folder/display")
    fi
    export WAYLAND_DISPLAY=presto-kde QT_QPA_PLATFORM=wayland
    share_display
    wait_for_name org.kde.kglobalaccel
    ;;
gnome)
    gnome-shell --headless --wayland --no-x11 --virtual-monitor 1280x800 --sm-disable &
    wait_for_socket "$XDG_RUNTIME_DIR/wayland-0"
    export WAYLAND_DISPLAY=wayland-0 QT_QPA_PLATFORM=wayland
    share_display
    wait_for_name org.gnome.Mutter.RemoteDesktop
    # The shell fully up first: gsd-media-keys hands it the keys to grab.
    wait_for_name org.gnome.Shell
    /usr/libexec/gsd-media-keys &
    wait_for_name org.gnome.SettingsDaemon.MediaKeys
    ;;
*)
    echo "headless-desktop: unknown desktop $kind" >&2
    exit 2
    ;;
esac
/usr/libexec/xdg-desktop-portal &
wait_for_name org.freedesktop.portal.Desktop

printf 'DBUS_SESSION_BUS_ADDRESS=%s\nWAYLAND_DISPLAY=%s\nDISPLAY=%s\n' \
    "$DBUS_SESSION_BUS_ADDRESS" "$WAYLAND_DISPLAY" "$x11_display" > "$ready.new"
mv "$ready.new" "$ready"
wait

#!/usr/bin/env bash
# Sourced after scripts/xserver.sh by what runs Windows programs under Wine
# (tests/win32/run, bench/win32/run): wine_start makes a fresh Wine prefix in
# the given folder on the X server already started, and readies Wine so that
# the first program measured or tested does not pay for Wine's own start;
# wine_stop ends Wine's server before the X server goes.
#   wine_start FOLDER

wine_stop() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        wineserver -k 2>/dev/null
        wineserver -w 2>/dev/null
    fi
}

wine_start() {
    export WINEPREFIX="$1/prefix" WINEARCH=win64 WINEDEBUG=-all
    # No .NET or Gecko prompts; no crash dialog that would wait for a click.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    wineboot -i >/dev/null 2>&1 || { echo "wine: wineboot failed" >&2; return 1; }
    wineserver -p 2>/dev/null || true
    # Without a window manager, Wine waits up to a second for one to answer
    # each time a captioned (managed) window is shown or hidden; every dialog
    # would pay it. Unmanaged windows are placed by Wine itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # Wine's services start with the first program and keep its output open:
    # let that be a program whose output goes nowhere.
    wine cmd /c exit >/dev/null 2>&1
    return 0
}

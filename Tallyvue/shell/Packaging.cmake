# SPDX-License-Identifier: MIT
# `cpack -G DEB` (or `cmake --build build --target package`) builds a Debian package of
# everything `cmake --install` installs; scripts/package makes the release one and checks it.
set(CPACK_PACKAGE_NAME "tallyvue")
set(CPACK_PACKAGE_VENDOR "Tallyvue")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tray monitor for Claude, ChatGPT and Copilot usage quotas")
# The extended description (after the summary); its lines stay under 80 columns.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tallyvue shows in the system tray how much of the Claude Code, ChatGPT / Codex
and GitHub Copilot quotas have been used, with reset countdowns, projections,
two weeks of history and threshold alerts. It never signs in itself: it reads
the logins those tools already keep on this computer, and talks only to the
three usage services.
.
The package also holds tallyvue-widget, a desktop widget with the same
figures, and tallyvue-cli, which prints them (for status bars too) and reports
the tokens this computer's Claude Code and Codex sessions spent.")
set(CPACK_PACKAGE_CONTACT "${TALLYVUE_MAINTAINER}")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Needed at run time though no library links them: Qt's Wayland platform plugin, the other
# platform plugins, and the session bus (single instance, tray item, notifications).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland, qt6-qpa-plugins, dbus")
# secret-tool is how the Claude login is read from the desktop's keyring.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsecret-tools")
set(CPACK_STRIP_FILES ON)
include(CPack)

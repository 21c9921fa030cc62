# SPDX-License-Identifier: MIT
# `cpack -G DEB` (or `cmake --build build --target package`) builds a Debian package of
# everything `cmake --install` installs.
set(CPACK_PACKAGE_NAME "tallyvue")
set(CPACK_PACKAGE_VENDOR "Tallyvue")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tray monitor for Claude, ChatGPT and Copilot usage quotas")
set(CPACK_PACKAGE_DESCRIPTION "Tallyvue shows in the system tray how much of the Claude Code, ChatGPT / Codex \
and GitHub Copilot quotas have been used, with reset countdowns, projections, history and threshold alerts.")
set(CPACK_PACKAGE_CONTACT "Tallyvue maintainers <maintainers@tallyvue.invalid>")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's platform plugins are loaded at run time, so the library scan misses them: X11 (and
# XWayland) and Wayland sessions without an X server.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-wayland")
# secret-tool is how the Claude login is read from the desktop's keyring.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsecret-tools")
set(CPACK_STRIP_FILES ON)
include(CPack)

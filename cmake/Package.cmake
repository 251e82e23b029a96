# The Debian package (scripts/package runs CPack on a Release build). Dependencies on shared libraries
# come from dpkg-shlibdeps; the packages listed here are those the app needs at run time without
# linking them: the English speech model and the language fingerprints.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Vessaro)
set(CPACK_PACKAGE_CONTACT ${QUILLORA_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The keyring's, the sound server's and PocketSphinx's libraries are opened where they are first needed, so
# the shared-library scan does not see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "pocketsphinx-en-us, libsecret-1-0, libpulse0, libpocketsphinx3")
# A sound server for the microphone and the system audio, a Secret Service for the API keys, and Qt's own
# texts (standard buttons, text field menus) in the languages the app is translated into.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio, gnome-keyring | keepassxc, qt6-translations-l10n")
# The desktop's GlobalShortcuts portal (Wayland) and a sound settings program ("Open Sound Settings").
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-desktop-portal, pavucontrol")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "reply suggestions during video calls
Quillora sits beside any video-call application. It transcribes both sides
of the call and, when the other person asks something, suggests one or two
short sentences to say next, drawn from the material prepared for that kind
of call. When listening stops, the call is summarised, stored and written as
a Markdown file.
.
Speech is recognised on the computer with PocketSphinx or by the OpenAI
Realtime service; suggestions and summaries come from Claude, OpenAI or a
local model server such as Ollama. The same executable, started as
'quillora --mcp', is a Model Context Protocol tool server through which a
coding agent reads and edits the assistants, contexts and calls.")
include(CPack)

# `make package`: a Debian 12 package of what `make install` installs, below /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rss-brevlin)
set(CPACK_PACKAGE_VENDOR "The RSS Brevlin developers")
set(CPACK_PACKAGE_CONTACT "The RSS Brevlin developers <developers@rssbrevlin.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tray feed watcher for RSS and Atom feeds")
set(CPACK_PACKAGE_DESCRIPTION
    "RSS Brevlin keeps a list of subscribed news feeds (RSS 2.0, RSS 1.0/RDF and
Atom, over HTTP, HTTPS or from local files), checks every feed on a repeating
timer, and announces every new entry as a desktop notification. Its tray menu
lists the newest entries and each feed's history; an entry opens in the web
browser, or as a saved copy of its page. A command line adds, lists, checks and
exports the same feeds.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://rssbrevlin.org/)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg-shlibdeps finds the libraries the program and its plugins link, the browser engine's helper
# process among them. Qt loads the rest at run time: the SQLite driver of the store, the X11
# platform of the tray and the SVG reader of its icons.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins, libqt6svg6")
# Entries and saved pages are handed to the desktop's applications through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)

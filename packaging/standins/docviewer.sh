#!/bin/sh
# docviewer FILE.pdf
#
# Shows a help document of the driver with the desktop's own PDF viewer.
# Waits while the viewer is open when the viewer itself is started (the
# settings tool's help button waits for it); exits 1 when no viewer exists.
if [ $# -ne 1 ] || [ ! -r "$1" ]; then
  echo "usage: docviewer FILE.pdf (a readable PDF file)" >&2
  exit 2
fi
for viewer in evince okular atril qpdfview xreader mupdf; do
  if command -v "$viewer" >/dev/null 2>&1; then
    exec "$viewer" "$1"
  fi
done
if command -v xdg-open >/dev/null 2>&1; then
  exec xdg-open "$1"
fi
echo "docviewer: no PDF viewer found to show $1" >&2
exit 1

#!/usr/bin/env bash
# Draws the settings tool's small pictures (icons, logo strip, bitmaps) with
# ImageMagick. The results are committed; run again only to change them.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p pic

# Window icon of the launcher and the password dialog: a blue tile with a
# black and a red bar, the printer's two colours.
convert -size 32x32 xc:none -fill '#1d5fa8' -draw 'roundrectangle 1,1,30,30,6,6' \
  -fill white -draw 'rectangle 8,9,23,15' -fill '#d02020' -draw 'rectangle 8,18,23,23' /tmp/oemSetup.png
convert /tmp/oemSetup.png -define icon:auto-resize=32,16 pic/oemSetup.ico
rm -f /tmp/oemSetup.png

# Window icon of the fingerprint manager: a small printer.
convert -size 32x32 xc:none -fill '#333333' -draw 'rectangle 3,10,28,24' -fill '#888888' \
  -draw 'rectangle 8,4,23,10' -fill white -draw 'rectangle 8,20,23,30' -fill '#d02020' \
  -draw 'rectangle 22,13,25,15' pic/LR880.PNG

# Logo strip over the password dialog and each fingerprint tab.
convert -size 560x40 gradient:'#ffffff-#dfe9f5' -font DejaVu-Sans-Bold -pointsize 26 \
  -fill '#1d5fa8' -annotate +14+30 'KOLVEX' -fill '#d02020' -draw 'rectangle 150,12,156,30' \
  -font DejaVu-Sans -pointsize 16 -fill '#333333' -annotate +170+27 'LR880 laser printer' \
  pic/KOLVEX-LOG.PNG
convert pic/KOLVEX-LOG.PNG -colors 16 -type palette BMP3:pic/KOLVEX-LOG.bmp
convert -size 64x64 xc:white -fill '#333333' -draw 'rectangle 6,20,58,48' -fill '#d02020' \
  -draw 'rectangle 44,26,50,30' -colors 4 -type palette BMP3:pic/LR880.bmp
convert -size 16x16 xc:white -fill '#1d5fa8' -draw 'circle 8,8 8,3' BMP3:pic/111.bmp

# Pictures of the margin and watermark tools.
convert -size 32x32 xc:none -fill '#555555' -draw 'rectangle 4,12,27,24' -fill white \
  -draw 'rectangle 9,4,22,12' -draw 'rectangle 9,20,22,29' fileprint.png
convert -size 8x8 xc:none -fill '#d02020' -draw 'circle 4,4 4,1' dot.png
convert -size 8x8 xc:white -fill black -draw 'circle 4,4 4,1' -monochrome BMP3:dot.bmp

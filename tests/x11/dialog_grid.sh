# The dialogs as the operator's hands and eyes find them, the same for the
# Qt and the Windows front end. Sourced.

# The main dialog's layout grid (dialog units) and its controls' centres;
# the radio button is clicked near its left edge, on its circle.
main_du=(321 248)
SERIAL=(72 29) TYPE=(120 74) PORT=(120 89) BROWSE=(286 74) FLASH_NOW=(248 96) EXIT=(294 233)
progress_du=(192 87)
CANCEL=(148 63)
MAIN='^RTQ650 Flash Utility V4.00$'
PROGRESS='^RTQ650 Flash Utility - On Transmission\.\.\.$'
BOX='^rtqflash$'  # message boxes carry the application name
ABOUT='^About RTQ650 Flash Utility$'

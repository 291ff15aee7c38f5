# Writes the interface resources' .qrc from the list of images the generator
# drew (one file name a line), the two fonts and the default bundle. Paths are
# relative to the folder of the .qrc.
file(STRINGS ${IMAGE_LIST} images)
set(text "<RCC>\n  <qresource prefix=\"/\">\n")
foreach(image IN LISTS images)
  string(APPEND text "    <file>img/${image}</file>\n")
endforeach()
string(APPEND text "    <file>fonts/Vera.ttf</file>\n    <file>fonts/VeraBd.ttf</file>\n")
string(APPEND text "    <file>prefs/default_favorite_filters_photo.bnd</file>\n")
string(APPEND text "  </qresource>\n</RCC>\n")
file(WRITE ${OUT} "${text}")

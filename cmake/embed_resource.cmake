# cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DID=<number> -DKIND=Bitmap|Icon -P embed_resource.cmake
# Writes a source file that registers the file's bytes as a resource of the dialog framework.
file(READ ${INPUT} bytes HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUTPUT}
"// Generated from ${INPUT}; do not edit.
#include \"ce/ui/dialog_template.h\"

namespace {
const unsigned char kData[] = {
    ${bytes}
};
const ce::ui::${KIND}Resource kResource{${ID}, kData};
const ce::ui::ResourceEntry kEntry(kResource);
}  // namespace
")

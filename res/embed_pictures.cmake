# Turns the program's pictures (res/bitmap<N>.bmp and res/icon<N>.bmp) into one C++
# source of byte arrays, each picture without its 14-byte file header, so that the data
# starts at the info header as a compiled-in bitmap resource does.
#   cmake -DRES_DIR=<res folder> -DOUTPUT=<file.cpp> -P embed_pictures.cmake
file(GLOB bitmaps ${RES_DIR}/bitmap*.bmp)
file(GLOB icons ${RES_DIR}/icon*.bmp)
list(SORT bitmaps)
list(SORT icons)

set(body "// Generated from the pictures in res/ by res/embed_pictures.cmake. Do not edit.\n")
string(APPEND body "#include \"ui/Resources.h\"\n\nnamespace {\n\n")
set(bitmapEntries "")
set(iconEntries "")

function(embed file prefix outName)
  get_filename_component(name ${file} NAME_WE)
  string(REGEX REPLACE "^${prefix}" "" number ${name})
  file(READ ${file} hex OFFSET 14 HEX)
  string(REGEX REPLACE "(([0-9a-f][0-9a-f]){24})" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  set(${outName} "${number}" PARENT_SCOPE)
  set(arrayText "const unsigned char k${prefix}${number}[] = {\n${hex}\n};\n\n" PARENT_SCOPE)
endfunction()

foreach(f ${bitmaps})
  embed(${f} bitmap number)
  string(APPEND body "${arrayText}")
  string(APPEND bitmapEntries "    {${number}, kbitmap${number}, sizeof kbitmap${number}},\n")
endforeach()
foreach(f ${icons})
  embed(${f} icon number)
  string(APPEND body "${arrayText}")
  string(APPEND iconEntries "    {${number}, kicon${number}, sizeof kicon${number}},\n")
endforeach()

string(APPEND body "struct Entry { int id; const unsigned char* data; size_t size; };\n\n")
string(APPEND body "const Entry kBitmaps[] = {\n${bitmapEntries}};\n\nconst Entry kIcons[] = {\n${iconEntries}};\n\n")
string(APPEND body "template <size_t N>\nCResourceData Find(const Entry (&table)[N], int id)\n{\n    for (const Entry& e : table)\n        if (e.id == id)\n            return {e.data, e.size};\n    return {};\n}\n\n} // namespace\n\n")
string(APPEND body "CResourceData FindBitmapResource(int id) { return Find(kBitmaps, id); }\n")
string(APPEND body "CResourceData FindIconResource(int id) { return Find(kIcons, id); }\n")

# Rewrite only when the content changed, so an unchanged picture set rebuilds nothing.
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
  if(old STREQUAL body)
    return()
  endif()
endif()
file(WRITE ${OUTPUT} "${body}")

# Writes OUTPUT, a C++ source defining kestrelon::builder::<NAME> as the text of
# each file in INPUTS (NAME=FILE pairs, separated by semicolons).
set(text "// Generated from builder/boot/ at build time.\n#include \"boot_templates.h\"\n\nnamespace kestrelon::builder {\n\n")
foreach(pair ${INPUTS})
  string(REPLACE "=" ";" parts "${pair}")
  list(GET parts 0 name)
  list(GET parts 1 file)
  file(READ ${file} content)
  string(APPEND text "const char* const ${name} = R\"KESTRELON(${content})KESTRELON\";\n\n")
endforeach()
string(APPEND text "}  // namespace kestrelon::builder\n")
file(WRITE ${OUTPUT}.tmp "${text}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})

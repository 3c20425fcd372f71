# Writes OUT, a C++ source holding each of FILES (paths under SOURCE_DIR, separated by commas) as a
# string, so that the program carries the development schemas as they are.
string(REPLACE "," ";" files "${FILES}")
set(out "// Made at build time from the files named below; edit those, not this.\n")
string(APPEND out "#include \"selftest/schema_scripts.h\"\n\nnamespace veriprog::selftest {\n\n")
string(APPEND out "const std::vector<EmbeddedScript>& EmbeddedScripts() {\n")
string(APPEND out "  static const std::vector<EmbeddedScript> scripts = {\n")
foreach(f IN LISTS files)
  file(READ "${SOURCE_DIR}/${f}" text)
  string(APPEND out "      {\"${f}\", R\"veriprog_sql(${text})veriprog_sql\"},\n")
endforeach()
string(APPEND out "  };\n  return scripts;\n}\n\n}  // namespace veriprog::selftest\n")
file(WRITE "${OUT}.tmp" "${out}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)

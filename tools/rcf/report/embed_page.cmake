# Writes the report page into a C++ source file as one raw string literal.
# usage: cmake -DPAGE=report_page.html -DOUT=report_page.cpp -P embed_page.cmake
file(READ "${PAGE}" page)
string(FIND "${page}" ")rcfpage\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${PAGE} contains the literal's delimiter )rcfpage\"")
endif()
string(FIND "${page}" "/*REPORT-DATA*/" first)
string(FIND "${page}" "/*REPORT-DATA*/" last REVERSE)
if(first EQUAL -1 OR NOT first EQUAL last)
  message(FATAL_ERROR "${PAGE} must hold /*REPORT-DATA*/ exactly once")
endif()
file(WRITE "${OUT}.new" "// Generated from ${PAGE}.\nnamespace vantric::rcf {\nextern const char* const kReportPage;\nconst char* const kReportPage = R\"rcfpage(${page})rcfpage\";\n}\n")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)

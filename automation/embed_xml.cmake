# Turns the interface description into a C++ string.
file(READ ${INPUT} _xml)
file(WRITE ${OUTPUT} "// Generated from automation/Quadrel.IQuadrel.xml; do not edit.\nnamespace quadrel {\nextern const char* const kAutomationInterfaceXml;\nconst char* const kAutomationInterfaceXml = R\"quadrelxml(${_xml})quadrelxml\";\n}\n")

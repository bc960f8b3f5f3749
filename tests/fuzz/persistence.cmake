# The object stream reader: tag records, cell lists and outlines, annotation lists.
quadrel_add_fuzzer(stream_reader stream_reader_fuzz.cpp)

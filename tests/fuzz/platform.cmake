# Region data (the serialised region form of documents) and the image decoders.
quadrel_add_fuzzer(region_data region_data_fuzz.cpp)
quadrel_add_fuzzer(image_decode image_decode_fuzz.cpp)

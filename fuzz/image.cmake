# The PPM parser over arbitrary bytes, and every picture loader under every kind of file name.
quorvel_add_fuzzer(fuzz_ppm fuzz_ppm.cpp quorvel_image Qt6::Core)
quorvel_add_fuzzer(fuzz_image_loaders fuzz_image_loaders.cpp quorvel_image Qt6::Gui)
# The JPEG loader's EXIF, APP14 and ICC reading, and the HEIF loader, over arbitrary bytes.
quorvel_add_fuzzer(fuzz_jpeg_metadata fuzz_jpeg_metadata.cpp quorvel_image Qt6::Gui)
quorvel_add_fuzzer(fuzz_heif fuzz_heif.cpp quorvel_image Qt6::Gui)

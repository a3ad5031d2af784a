# The PPM parser over arbitrary bytes, and every picture loader under every kind of file name.
quorvel_add_fuzzer(fuzz_ppm fuzz_ppm.cpp quorvel_image Qt6::Core)
quorvel_add_fuzzer(fuzz_image_loaders fuzz_image_loaders.cpp quorvel_image Qt6::Gui)

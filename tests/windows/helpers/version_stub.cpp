// The code of the test DLLs that carry a version resource; only the
// resource is ever read.

extern "C" __declspec(dllexport) int ZntVersionStub() { return 1; }

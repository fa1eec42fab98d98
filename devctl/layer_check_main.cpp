// The entry point of the layer check programs (CMakeLists.txt): they are linked, never run.
int main() { return 0; }

// A bare executable for the version-text tests.
int main() { return 0; }

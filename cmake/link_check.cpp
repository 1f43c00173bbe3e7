// Linked with one engine library whole and only the libraries it declares:
// a call into any other folder is an undefined reference here.
int main() { return 0; }

// Ends with an access violation that nothing handles.
int main() {
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  return 0;
}

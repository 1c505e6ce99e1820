/* A "d3d9.dll" that lacks the Direct3DCreate9 entry point. */
int NotDirect3DCreate9(void) { return 0; }

AD,4.
ME.

ME.

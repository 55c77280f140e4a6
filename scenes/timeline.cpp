// The timeline and scene dispatcher.

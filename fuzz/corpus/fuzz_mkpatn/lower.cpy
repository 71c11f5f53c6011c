 01 r.
	05 a pic -zzz,zz9.99cr.
	05 b pic s9(5) sign leading separate.
	05 g comp-3.
	  10 g1 pic s9(7)v99.
	05 c value +4 comp-5 pic s9(4) sync.
	05 t occurs 1 to 3 depending on c pic x(3)bx.
	05 d redefines t pic n(2).
	05 e redefines d pic g.
	05 p pointer.

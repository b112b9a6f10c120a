    // ---- the snapshot -----------------------------------------------------

    function snapshot() {
        flushMutations();
        const s = {};
        const type = selectionType();
        const r = selectionRange();
        const editable = !!r && document.designMode === 'on';
        const textual = editable && type !== 'Control';
        const el = anchorElement();
        const nodes = textual ? selectedTextNodes(400) : [];
        const st = {};
        const on = (v) => v ? DECMDF.ENABLED : DECMDF.DISABLED;
        const latched = (name) => document.queryCommandState(name) ? DECMDF.LATCHED : DECMDF.ENABLED;

        st[DECMD.BOLD] = textual ? tri(nodes, (n) => isBold(styleOf(n)), 'bold') : DECMDF.DISABLED;
        st[DECMD.ITALIC] = textual ? tri(nodes, (n) => isItalic(styleOf(n)), 'italic') : DECMDF.DISABLED;
        st[DECMD.UNDERLINE] = textual ? tri(nodes, isUnderlined, 'underline') : DECMDF.DISABLED;
        st[DECMD.ORDERLIST] = textual ? latched('insertOrderedList') : DECMDF.DISABLED;
        st[DECMD.UNORDERLIST] = textual ? latched('insertUnorderedList') : DECMDF.DISABLED;
        st[DECMD.JUSTIFYLEFT] = textual ? latched('justifyLeft') : DECMDF.DISABLED;
        st[DECMD.JUSTIFYCENTER] = textual ? latched('justifyCenter') : DECMDF.DISABLED;
        st[DECMD.JUSTIFYRIGHT] = textual ? latched('justifyRight') : DECMDF.DISABLED;
        st[DECMD.INDENT] = on(textual);
        st[DECMD.OUTDENT] = on(textual && canOutdent(el));
        st[DECMD.SETFORECOLOR] = on(textual);
        st[DECMD.SETFONTNAME] = on(textual);
        st[DECMD.SETFONTSIZE] = on(textual);
        st[DECMD.SETBLOCKFMT] = on(textual);
        st[DECMD.GETBLOCKFMT] = on(textual);
        st[DECMD.GETBLOCKFMTNAMES] = DECMDF.ENABLED;
        st[DECMD.FONT] = on(textual);
        st[DECMD.FINDTEXT] = on(document.designMode === 'on');
        st[DECMD.SELECTALL] = on(document.designMode === 'on');
        st[DECMD.CUT] = on(editable && type !== 'None');
        st[DECMD.COPY] = on(editable && type !== 'None');
        st[DECMD.PASTE] = on(editable);
        st[DECMD.PASTEPLAINTEXT] = on(editable && type !== 'Control');
        st[DECMD.UNDO] = on(editable && document.queryCommandEnabled('undo'));
        st[DECMD.REDO] = on(editable && document.queryCommandEnabled('redo'));
        const cell = textual ? closest(el, 'td,th') : null;
        for (const command of [DECMD.INSERTROW, DECMD.INSERTCOL, DECMD.DELETEROWS, DECMD.DELETECOLS])
            st[command] = on(!!cell);
        st[DECMD.MAKE_ABSOLUTE] = on(editable && (type === 'Control' || !!positionedOf(el)));
        st[DECMD.SEND_TO_BACK] = on(editable && !!positionedOf(el));

        let fontName = '', fontSize = 0;
        if (textual) {
            const sample = nodes.length ? nodes : (el ? [el.firstChild || el] : []);
            const names = new Set(), sizes = new Set();
            for (const n of sample) {
                const cs = getComputedStyle(elementOf(n));
                names.add(firstFamily(cs.fontFamily));
                sizes.add(sizeIndex(parseFloat(cs.fontSize)));
            }
            const one = (set) => set.size === 1 ? DECMDF.ENABLED : (set.size ? DECMDF.NINCHED : DECMDF.DISABLED);
            st[DECMD.GETFONTNAME] = one(names);
            st[DECMD.GETFONTSIZE] = one(sizes);
            if (names.size === 1)
                fontName = [...names][0];
            if (sizes.size === 1)
                fontSize = [...sizes][0];
        } else {
            st[DECMD.GETFONTNAME] = DECMDF.DISABLED;
            st[DECMD.GETFONTSIZE] = DECMDF.DISABLED;
        }

        s.status = st;
        s.fontName = fontName;
        s.fontSize = fontSize;
        s.blockFormat = textual ? blockFormatName(el) : '';
        s.selType = type;
        s.title = document.title;
        s.dirty = dirty;
        s.changes = changeCount;
        s.tag = location.search;
        return s;
    }

    function push() {
        pending = false;
        if (detailsOn)
            drawDetails();
        console.info(PUSH_MARK + JSON.stringify(snapshot()));
    }

    function schedulePush() {
        if (pending)
            return;
        pending = true;
        Promise.resolve().then(push);
    }

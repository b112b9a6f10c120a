    // ---- selection -------------------------------------------------------

    function selectionRange() {
        const sel = document.getSelection();
        return sel && sel.rangeCount ? sel.getRangeAt(0) : null;
    }

    function isControlSelected() {
        if (!controlEl || !controlEl.isConnected)
            return false;
        const r = selectionRange();
        if (!r || r.startContainer !== r.endContainer || r.endOffset - r.startOffset !== 1)
            return false;
        return r.startContainer.childNodes[r.startOffset] === controlEl;
    }

    function selectionType() {
        if (isControlSelected())
            return 'Control';
        const r = selectionRange();
        if (!r || r.collapsed)
            return 'None';
        return 'Text';
    }

    function elementOf(node) {
        return node && node.nodeType === Node.ELEMENT_NODE ? node : (node ? node.parentElement : null);
    }

    function anchorElement() {
        const r = selectionRange();
        if (!r)
            return null;
        let n = r.startContainer;
        if (n.nodeType === Node.ELEMENT_NODE && n.childNodes[r.startOffset] && !r.collapsed)
            n = n.childNodes[r.startOffset];
        return elementOf(n);
    }

    function closest(el, selector) {
        return el && el.closest ? el.closest(selector) : null;
    }

    // Text nodes of the selection (at most a sample, so that a selection of a
    // whole large page stays cheap).
    function selectedTextNodes(limit) {
        const r = selectionRange();
        const out = [];
        if (!r)
            return out;
        if (r.collapsed || (r.startContainer === r.endContainer && r.startContainer.nodeType === Node.TEXT_NODE)) {
            if (r.startContainer.nodeType === Node.TEXT_NODE)
                out.push(r.startContainer);
            return out;
        }
        const root = r.commonAncestorContainer;
        const walker = document.createTreeWalker(root, NodeFilter.SHOW_TEXT, {
            acceptNode: (n) => (n.data.trim().length && r.intersectsNode(n)) ? NodeFilter.FILTER_ACCEPT
                                                                               : NodeFilter.FILTER_REJECT,
        });
        let n;
        while ((n = walker.nextNode()) && out.length < limit) {
            if (n === r.endContainer && r.endOffset === 0)
                continue;
            if (n === r.startContainer && r.startOffset >= n.data.length)
                continue;
            out.push(n);
        }
        return out;
    }

    function styleOf(textNode) {
        return getComputedStyle(textNode.parentElement);
    }

    function isBold(s) { return (parseInt(s.fontWeight, 10) || 400) >= 600; }
    function isItalic(s) { return s.fontStyle === 'italic' || s.fontStyle === 'oblique'; }
    function isUnderlined(textNode) {
        for (let el = textNode.parentElement; el; el = el.parentElement) {
            if (getComputedStyle(el).textDecorationLine.indexOf('underline') >= 0)
                return true;
        }
        return false;
    }

    function tri(nodes, test, fallbackCommand) {
        if (!nodes.length)
            return document.queryCommandState(fallbackCommand) ? DECMDF.LATCHED : DECMDF.ENABLED;
        let yes = 0;
        for (const n of nodes)
            if (test(n))
                yes++;
        return yes === 0 ? DECMDF.ENABLED : (yes === nodes.length ? DECMDF.LATCHED : DECMDF.NINCHED);
    }

    function firstFamily(family) {
        const first = (family || '').split(',')[0].trim();
        return first.replace(/^["']|["']$/g, '');
    }

    function sizeIndex(px) {
        let best = 0;
        for (let i = 1; i < FONT_SIZES_PX.length; i++)
            if (Math.abs(FONT_SIZES_PX[i] - px) < Math.abs(FONT_SIZES_PX[best] - px))
                best = i;
        return best + 1;
    }

    function blockFormatName(el) {
        for (; el && el !== document.body; el = el.parentElement) {
            const tag = el.tagName;
            if (tag === 'LI') {
                const list = el.parentElement ? el.parentElement.tagName : '';
                for (const [name, t] of BLOCK_FORMATS)
                    if (t === list)
                        return name;
                return 'Bulleted List';
            }
            for (const [name, t] of BLOCK_FORMATS)
                if (t === tag)
                    return name;
            if (getComputedStyle(el).display === 'block' && tag !== 'BLOCKQUOTE')
                return 'Normal';
        }
        return 'Normal';
    }

    function canOutdent(el) {
        for (; el && el !== document.body; el = el.parentElement) {
            if (el.tagName === 'LI' || el.tagName === 'BLOCKQUOTE')
                return true;
            if (el.style && parseFloat(el.style.marginLeft) > 0)
                return true;
        }
        return false;
    }

    function positionedOf(el) {
        if (isControlSelected())
            el = controlEl;
        for (; el && el !== document.body; el = el.parentElement) {
            if (el.style && el.style.position === 'absolute')
                return el;
        }
        return null;
    }
